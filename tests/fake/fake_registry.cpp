// The fake Windows: the registry.
#include "tests/fake/fake_internal.h"

#include <algorithm>

namespace fake {
namespace detail {

int root_index(HKEY root) {
  if (root == HKEY_CURRENT_USER) {
    return 0;
  }
  if (root == HKEY_LOCAL_MACHINE) {
    return 1;
  }
  return -1;
}

const wchar_t* root_text(int index) { return index == 0 ? L"HKCU" : L"HKLM"; }

struct KeyRef {
  int root = -1;
  std::wstring key;      // lower case, relative to the root
  std::wstring spelled;  // as spelled, relative to the root
  std::wstring text;     // with the root's short name in front
};

// The text of (root, subkey) for the call log, before anything is checked.
std::wstring key_text(HKEY root, const wchar_t* subkey) {
  std::wstring base;
  const int index = root_index(root);
  if (index >= 0) {
    base = root_text(index);
  } else {
    auto found = state().key_handles.find(root);
    base = found != state().key_handles.end() ? found->second.text : L"<unknown key handle>";
  }
  if (subkey != nullptr && subkey[0] != L'\0') {
    base += L'\\';
    base += subkey;
  }
  return base;
}

// Resolves a root (predefined, or an open handle) and a subkey below it.
bool resolve_key(const char* op, HKEY root, const wchar_t* subkey, KeyRef& out) {
  State& s = state();
  std::vector<std::wstring> parts;
  const int index = root_index(root);
  if (index >= 0) {
    out.root = index;
  } else {
    auto found = s.key_handles.find(root);
    if (found == s.key_handles.end() || !found->second.open) {
      misuse(std::string(op) + " was passed " +
             (found == s.key_handles.end() ? "an unknown registry handle"
                                           : "the closed registry handle of " +
                                                 narrow(found->second.text)));
      return false;
    }
    out.root = found->second.root;
    parts = split(found->second.key, false);  // lower case; spelled below if the key exists
    auto key = s.world.registry.find(RegId{out.root, found->second.key});
    if (key != s.world.registry.end()) {
      parts = split(key->second.spelled, false);
    }
  }
  if (subkey != nullptr) {
    for (const std::wstring& part : split(subkey, false)) {
      parts.push_back(part);
    }
  }
  out.spelled = join(parts, parts.size());
  out.key = lower(out.spelled);
  out.text = root_text(out.root);
  if (!out.spelled.empty()) {
    out.text += L'\\';
    out.text += out.spelled;
  }
  return true;
}

void make_keys(int root, const std::wstring& spelled) {
  auto& registry = state().world.registry;
  const std::vector<std::wstring> parts = split(spelled, false);
  for (size_t count = 0; count <= parts.size(); ++count) {
    const std::wstring prefix = join(parts, count);
    const RegId id{root, lower(prefix)};
    if (registry.find(id) == registry.end()) {
      registry[id] = RegKey{prefix, {}};
    }
  }
}

RegKey* find_key(int root, const std::wstring& key) {
  auto& registry = state().world.registry;
  auto found = registry.find(RegId{root, lower(key)});
  return found == registry.end() ? nullptr : &found->second;
}

RegValue* find_value(RegKey& key, const std::wstring& name) {
  const std::wstring wanted = lower(name);
  for (auto& entry : key.values) {
    if (lower(entry.first) == wanted) {
      return &entry.second;
    }
  }
  return nullptr;
}

void store_value(RegKey& key, const std::wstring& name, RegValue value) {
  if (RegValue* existing = find_value(key, name)) {
    *existing = std::move(value);  // overwritten in place: the write order keeps its first position
  } else {
    key.values.emplace_back(name, std::move(value));
  }
}

DWORD type_flag(DWORD type) {
  switch (type) {
    case REG_NONE: return RRF_RT_REG_NONE;
    case REG_SZ: return RRF_RT_REG_SZ;
    case REG_EXPAND_SZ: return RRF_RT_REG_EXPAND_SZ;
    case REG_BINARY: return RRF_RT_REG_BINARY;
    case REG_DWORD: return RRF_RT_REG_DWORD;
    case REG_MULTI_SZ: return RRF_RT_REG_MULTI_SZ;
    case REG_QWORD: return RRF_RT_REG_QWORD;
    default: return 0;
  }
}

// %NAME% replaced by the fake environment's value; an unknown name is kept
// with its percent signs, as ExpandEnvironmentStrings keeps it.
std::wstring expand_variables(const std::wstring& text) {
  const auto& env = state().world.env;
  std::wstring out;
  size_t at = 0;
  while (at < text.size()) {
    const size_t open = text.find(L'%', at);
    const size_t close = open == std::wstring::npos ? open : text.find(L'%', open + 1);
    if (close == std::wstring::npos) {
      out += text.substr(at);
      break;
    }
    out += text.substr(at, open - at);
    auto variable = env.find(lower(text.substr(open + 1, close - open - 1)));
    if (variable == env.end()) {
      out += text.substr(open, close - open);
      at = close;  // the closing sign may open the next name
    } else {
      out += variable->second.value;
      at = close + 1;
    }
  }
  return out;
}

bool is_string_type(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

std::wstring canonical_key(const std::wstring& key) {
  const std::vector<std::wstring> parts = split(key, false);
  return join(parts, parts.size());
}

bool checked_root(const char* helper, HKEY root, int& index) {
  index = root_index(root);
  if (index < 0) {
    misuse(std::string(helper) + " was given a root other than HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE");
    return false;
  }
  return true;
}

}  // namespace detail

using namespace detail;

void set_reg_sz(HKEY root, const std::wstring& key, const std::wstring& name,
                const std::wstring& text) {
  set_reg_value(root, key, name, REG_SZ, sz_bytes(text));
}

void set_reg_value(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type,
                   const std::vector<BYTE>& data) {
  int index = -1;
  if (!checked_root("set_reg_value", root, index)) {
    return;
  }
  const std::wstring spelled = canonical_key(key);
  make_keys(index, spelled);
  store_value(*find_key(index, spelled), name, RegValue{type, data});
}

void add_reg_key(HKEY root, const std::wstring& key) {
  int index = -1;
  if (checked_root("add_reg_key", root, index)) {
    make_keys(index, canonical_key(key));
  }
}

bool reg_key_exists(HKEY root, const std::wstring& key) {
  int index = -1;
  return checked_root("reg_key_exists", root, index) &&
         find_key(index, canonical_key(key)) != nullptr;
}

std::optional<RegValue> reg_value(HKEY root, const std::wstring& key, const std::wstring& name) {
  int index = -1;
  if (!checked_root("reg_value", root, index)) {
    return std::nullopt;
  }
  RegKey* found = find_key(index, canonical_key(key));
  if (found == nullptr) {
    return std::nullopt;
  }
  RegValue* value = find_value(*found, name);
  if (value == nullptr) {
    return std::nullopt;
  }
  return *value;
}

std::vector<std::wstring> reg_value_names(HKEY root, const std::wstring& key) {
  std::vector<std::wstring> names;
  int index = -1;
  if (!checked_root("reg_value_names", root, index)) {
    return names;
  }
  RegKey* found = find_key(index, canonical_key(key));
  if (found != nullptr) {
    for (const auto& entry : found->values) {
      names.push_back(entry.first);
    }
  }
  return names;
}

std::vector<BYTE> sz_bytes(const std::wstring& text) {
  std::vector<BYTE> bytes((text.size() + 1) * sizeof(wchar_t), 0);
  std::memcpy(bytes.data(), text.data(), text.size() * sizeof(wchar_t));
  return bytes;
}

std::wstring sz_text(const RegValue& value) {
  std::wstring text;
  for (size_t i = 0; i + 1 < value.data.size(); i += 2) {
    const wchar_t unit = static_cast<wchar_t>(value.data[i] | (value.data[i + 1] << 8));
    if (unit == L'\0') {
      break;
    }
    text += unit;
  }
  return text;
}

}  // namespace fake

namespace win {

using namespace fake::detail;

LSTATUS RegGetValueW(HKEY root, LPCWSTR subkey, LPCWSTR value_name, DWORD flags,
                     LPDWORD type, PVOID data, LPDWORD data_bytes) {
  CallScope scope("RegGetValueW", key_text(root, subkey) + L" value=" +
                                      (value_name != nullptr ? value_name : L""));
  if (scope.failed()) {
    return scope.fault<LSTATUS>();
  }
  KeyRef ref;
  if (!resolve_key("RegGetValueW", root, subkey, ref)) {
    return ERROR_INVALID_HANDLE;
  }
  if ((data != nullptr && data_bytes == nullptr) || (flags & RRF_RT_ANY) == 0) {
    return ERROR_INVALID_PARAMETER;
  }
  RegKey* key = find_key(ref.root, ref.key);
  if (key == nullptr) {
    return ERROR_FILE_NOT_FOUND;
  }
  const fake::RegValue* found = find_value(*key, value_name != nullptr ? value_name : L"");
  if (found == nullptr) {
    return ERROR_FILE_NOT_FOUND;
  }
  // Without RRF_NOEXPAND an expandable string is read expanded, as REG_SZ,
  // and so passes RRF_RT_REG_SZ.
  fake::RegValue expanded;
  const fake::RegValue* value = found;
  if (found->type == REG_EXPAND_SZ && (flags & RRF_NOEXPAND) == 0) {
    expanded = fake::RegValue{REG_SZ, fake::sz_bytes(expand_variables(fake::sz_text(*found)))};
    value = &expanded;
  }
  if ((flags & RRF_RT_ANY) != RRF_RT_ANY && (flags & type_flag(value->type)) == 0) {
    return ERROR_UNSUPPORTED_TYPE;
  }
  const std::vector<BYTE>& stored = value->data;
  const bool terminated = stored.size() >= 2 && stored.size() % 2 == 0 &&
                          stored[stored.size() - 1] == 0 && stored[stored.size() - 2] == 0;
  const DWORD added = is_string_type(value->type) && !terminated ? 2 : 0;
  const DWORD needed = static_cast<DWORD>(stored.size()) + added;
  if (type != nullptr) {
    *type = value->type;
  }
  if (data == nullptr) {
    if (data_bytes != nullptr) {
      *data_bytes = needed;
    }
    return ERROR_SUCCESS;
  }
  if (*data_bytes < needed) {
    *data_bytes = needed;
    return ERROR_MORE_DATA;
  }
  BYTE* bytes = static_cast<BYTE*>(data);
  std::copy(stored.begin(), stored.end(), bytes);
  std::fill(bytes + stored.size(), bytes + needed, BYTE{0});
  *data_bytes = needed;
  return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExW(HKEY root, LPCWSTR subkey, DWORD, LPWSTR, DWORD, REGSAM access,
                        LPSECURITY_ATTRIBUTES, PHKEY key, LPDWORD disposition) {
  CallScope scope("RegCreateKeyExW", key_text(root, subkey) + L" access=" + number(access));
  if (scope.failed()) {
    return scope.fault<LSTATUS>();
  }
  KeyRef ref;
  if (!resolve_key("RegCreateKeyExW", root, subkey, ref)) {
    return ERROR_INVALID_HANDLE;
  }
  if (key == nullptr) {
    return ERROR_INVALID_PARAMETER;
  }
  const bool existed = find_key(ref.root, ref.key) != nullptr;
  make_keys(ref.root, ref.spelled);
  REGSAM effective = access;
  if ((access & (GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED)) != 0) {
    effective |= KEY_WRITE;
  }
  const HKEY handle = reinterpret_cast<HKEY>(new_handle_value());
  state().key_handles[handle] = KeyHandle{ref.root, ref.key, ref.text, effective, true};
  *key = handle;
  if (disposition != nullptr) {
    *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  }
  return ERROR_SUCCESS;
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR value_name, DWORD, DWORD type, const BYTE* data,
                       DWORD data_bytes) {
  CallScope scope("RegSetValueExW", value_name != nullptr ? value_name : L"");
  if (scope.failed()) {
    return scope.fault<LSTATUS>();
  }
  State& s = state();
  int root = root_index(key);
  std::wstring path;
  if (root < 0) {
    auto found = s.key_handles.find(key);
    if (found == s.key_handles.end() || !found->second.open) {
      misuse(found == s.key_handles.end()
                 ? std::string("RegSetValueExW was passed an unknown registry handle")
                 : "RegSetValueExW was passed the closed registry handle of " +
                       narrow(found->second.text));
      return ERROR_INVALID_HANDLE;
    }
    if ((found->second.access & KEY_SET_VALUE) == 0) {
      return ERROR_ACCESS_DENIED;
    }
    root = found->second.root;
    path = found->second.key;
  }
  RegKey* target = find_key(root, path);
  if (target == nullptr) {
    return ERROR_KEY_DELETED;
  }
  if (data == nullptr && data_bytes != 0) {
    return ERROR_NOACCESS;
  }
  std::vector<BYTE> bytes;
  if (data_bytes != 0) {
    bytes.assign(data, data + data_bytes);
  }
  store_value(*target, value_name != nullptr ? value_name : L"", fake::RegValue{type, bytes});
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
  State& s = state();
  auto found = s.key_handles.find(key);
  std::wstring detail = key_text(key, nullptr);
  CallScope scope("RegCloseKey", detail);
  if (scope.failed()) {
    return scope.fault<LSTATUS>();
  }
  if (root_index(key) >= 0) {
    return ERROR_SUCCESS;  // predefined roots are never really opened
  }
  if (found == s.key_handles.end()) {
    misuse("RegCloseKey was passed an unknown registry handle");
    return ERROR_INVALID_HANDLE;
  }
  if (!found->second.open) {
    misuse("RegCloseKey was called twice on the registry handle of " + narrow(found->second.text));
    return ERROR_INVALID_HANDLE;
  }
  found->second.open = false;
  return ERROR_SUCCESS;
}

LSTATUS RegDeleteKeyW(HKEY root, LPCWSTR subkey) {
  CallScope scope("RegDeleteKeyW", key_text(root, subkey));
  if (scope.failed()) {
    return scope.fault<LSTATUS>();
  }
  KeyRef ref;
  if (!resolve_key("RegDeleteKeyW", root, subkey, ref)) {
    return ERROR_INVALID_HANDLE;
  }
  auto& registry = state().world.registry;
  auto found = registry.find(RegId{ref.root, ref.key});
  if (found == registry.end()) {
    return ERROR_FILE_NOT_FOUND;
  }
  if (ref.key.empty()) {
    return ERROR_ACCESS_DENIED;  // a root cannot be deleted
  }
  auto next = std::next(found);
  if (next != registry.end() && next->first.first == ref.root &&
      starts_with(next->first.second, ref.key + L"\\")) {
    return ERROR_ACCESS_DENIED;
  }
  registry.erase(found);
  return ERROR_SUCCESS;
}

}  // namespace win
