// The in-memory Windows behind platform/win.h for the unit tests.
//
// Every win:: function goes through a CallScope: the call is logged first, then
// the injected faults are consulted (a faulted call touches nothing), and when
// the scope ends the after-call hook sees the world as the call left it.
// Resources the code under test acquires (process handles, registry handles,
// known-folder blocks, COM objects, the COM apartment) are tracked here so
// that problems() can name whatever was leaked or released twice.
//
// Freed blocks and released COM objects stay allocated until reset(), so a
// stale pointer can never alias a fresh one and a second release is always
// recognised as such.
#include "tests/fake/fake_win.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <utility>

#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

namespace fake {
namespace detail {

struct GuidLess {
  bool operator()(const GUID& a, const GUID& b) const {
    return std::memcmp(&a, &b, sizeof(GUID)) < 0;
  }
};

struct FileEntry {
  std::wstring spelled;  // the path as first spelled, separators made single backslashes
  Node node;
};

struct RegKey {
  std::wstring spelled;
  // In the order first written; names compare case-insensitively.
  std::vector<std::pair<std::wstring, RegValue>> values;
};

// Registry keys by (root index, lower-case path); the root key itself is L"".
using RegId = std::pair<int, std::wstring>;

struct EnvEntry {
  std::wstring name;
  std::wstring value;
};

}  // namespace detail

struct World {
  std::map<std::wstring, detail::FileEntry> files;  // by lower-case path
  std::map<detail::RegId, detail::RegKey> registry;
  std::map<GUID, std::wstring, detail::GuidLess> known_folders;
  std::map<std::wstring, detail::EnvEntry> env;  // by lower-case name
};

namespace detail {

// ---- Text helpers -----------------------------------------------------------

std::wstring lower(const std::wstring& text) {
  std::wstring out = text;
  for (wchar_t& c : out) {
    c = static_cast<wchar_t>(std::towlower(c));
  }
  return out;
}

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string narrow(const std::wstring& text) {
  if (text.empty()) {
    return std::string();
  }
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                        nullptr, nullptr);
  return out;
}

std::wstring text_of(const wchar_t* text) { return text == nullptr ? L"<null>" : text; }

std::wstring number(unsigned long long value) { return std::to_wstring(value); }

std::wstring guid_text(const GUID& id) {
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0],
                id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6],
                id.Data4[7]);
  return widen(buffer);
}

std::wstring folder_name(const GUID& id) {
  if (IsEqualGUID(id, FOLDERID_LocalAppData)) {
    return L"LocalAppData";
  }
  if (IsEqualGUID(id, FOLDERID_Desktop)) {
    return L"Desktop";
  }
  if (IsEqualGUID(id, FOLDERID_Programs)) {
    return L"Programs";
  }
  return guid_text(id);
}

std::wstring interface_name(REFIID iid) {
  if (IsEqualIID(iid, IID_IUnknown)) {
    return L"IUnknown";
  }
  if (IsEqualIID(iid, IID_IShellLinkW)) {
    return L"IShellLinkW";
  }
  if (IsEqualIID(iid, IID_IPersistFile)) {
    return L"IPersistFile";
  }
  return guid_text(iid);
}

std::wstring class_name(REFCLSID clsid) {
  return IsEqualCLSID(clsid, CLSID_ShellLink) ? L"ShellLink" : guid_text(clsid);
}

// ---- Paths ------------------------------------------------------------------

// Both separators count and repeated ones collapse, as in Win32 path parsing.
std::vector<std::wstring> split(const std::wstring& path, bool slash_too) {
  std::vector<std::wstring> parts;
  std::wstring part;
  for (wchar_t c : path) {
    if (c == L'\\' || (slash_too && c == L'/')) {
      if (!part.empty()) {
        parts.push_back(part);
      }
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) {
    parts.push_back(part);
  }
  return parts;
}

std::wstring join(const std::vector<std::wstring>& parts, size_t count) {
  std::wstring out;
  for (size_t i = 0; i < count && i < parts.size(); ++i) {
    if (i != 0) {
      out += L'\\';
    }
    out += parts[i];
  }
  return out;
}

bool is_drive(const std::wstring& part) {
  return part.size() == 2 && part[1] == L':' && std::iswalpha(part[0]);
}

struct PathName {
  std::vector<std::wstring> parts;
  std::wstring spelled;
  std::wstring key;
  bool root = false;  // a drive root such as C:, which always exists
};

PathName path_name(const std::wstring& path) {
  PathName name;
  name.parts = split(path, true);
  name.spelled = join(name.parts, name.parts.size());
  name.key = lower(name.spelled);
  name.root = name.parts.size() == 1 && is_drive(name.parts[0]);
  return name;
}

PathName parent_of(const PathName& name) {
  PathName parent;
  if (name.parts.empty()) {
    return parent;
  }
  parent.parts.assign(name.parts.begin(), name.parts.end() - 1);
  parent.spelled = join(parent.parts, parent.parts.size());
  parent.key = lower(parent.spelled);
  parent.root = parent.parts.size() == 1 && is_drive(parent.parts[0]);
  return parent;
}

bool starts_with(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// ---- Fake COM object ----------------------------------------------------------

class LinkObject;

// One object, two interfaces: each part knows which interface it is so that
// AddRef and Release are logged with the interface the caller went through.
class ShellLinkPart final : public IShellLinkW {
 public:
  explicit ShellLinkPart(LinkObject* owner) : owner_(owner) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetPath(LPWSTR, int, WIN32_FIND_DATAW*, DWORD) override;
  HRESULT STDMETHODCALLTYPE GetIDList(PIDLIST_ABSOLUTE*) override;
  HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE) override;
  HRESULT STDMETHODCALLTYPE GetDescription(LPWSTR, int) override;
  HRESULT STDMETHODCALLTYPE SetDescription(LPCWSTR text) override;
  HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPWSTR, int) override;
  HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCWSTR dir) override;
  HRESULT STDMETHODCALLTYPE GetArguments(LPWSTR, int) override;
  HRESULT STDMETHODCALLTYPE SetArguments(LPCWSTR) override;
  HRESULT STDMETHODCALLTYPE GetHotkey(WORD*) override;
  HRESULT STDMETHODCALLTYPE SetHotkey(WORD) override;
  HRESULT STDMETHODCALLTYPE GetShowCmd(int*) override;
  HRESULT STDMETHODCALLTYPE SetShowCmd(int) override;
  HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR, int, int*) override;
  HRESULT STDMETHODCALLTYPE SetIconLocation(LPCWSTR path, int index) override;
  HRESULT STDMETHODCALLTYPE SetRelativePath(LPCWSTR, DWORD) override;
  HRESULT STDMETHODCALLTYPE Resolve(HWND, DWORD) override;
  HRESULT STDMETHODCALLTYPE SetPath(LPCWSTR path) override;

 private:
  LinkObject* owner_;
};

class PersistFilePart final : public IPersistFile {
 public:
  explicit PersistFilePart(LinkObject* owner) : owner_(owner) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override;
  HRESULT STDMETHODCALLTYPE IsDirty() override;
  HRESULT STDMETHODCALLTYPE Load(LPCOLESTR, DWORD) override;
  HRESULT STDMETHODCALLTYPE Save(LPCOLESTR file, WINBOOL remember) override;
  HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR) override;
  HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR*) override;

 private:
  LinkObject* owner_;
};

class LinkObject {
 public:
  explicit LinkObject(int number) : number(number), shell_link(this), persist_file(this) {}
  LinkObject(const LinkObject&) = delete;
  LinkObject& operator=(const LinkObject&) = delete;

  std::string name() const { return "Shell Link object #" + std::to_string(number); }

  int number;
  long refs = 1;
  Link link;
  ShellLinkPart shell_link;
  PersistFilePart persist_file;
};

// ---- The whole fake state -------------------------------------------------------

struct FaultRule {
  std::string op;
  long long result;
  int nth;
  int seen = 0;
};

struct KeyHandle {
  int root;
  std::wstring key;  // lower case
  std::wstring text;  // e.g. HKCU\Software\...
  REGSAM access;
  bool open;
};

struct ProcessHandle {
  std::string kind;  // "process" or "thread"
  DWORD pid;
  std::wstring application;
  bool open;
};

struct Block {
  std::unique_ptr<wchar_t[]> memory;
  size_t length;
  std::wstring folder;
  std::wstring path;
  bool freed;
};

struct Answer {
  HRESULT result;
  bool hand_back_block;
};

struct State {
  World world;
  std::wstring module_path;
  std::wstring system_dir;
  DWORD process_id = 0;
  bool has_command_line = true;
  std::vector<wchar_t> command_line;  // NUL-terminated, stable until changed

  std::vector<Call> calls;
  std::vector<FaultRule> faults;
  std::function<void(size_t)> after_call;
  bool in_hook = false;

  uintptr_t next_handle = 0x1000;
  DWORD next_pid = 5000;
  std::vector<Process> processes;
  std::map<HANDLE, ProcessHandle> process_handles;
  std::map<HKEY, KeyHandle> key_handles;

  std::map<GUID, Answer, GuidLess> answers;
  std::map<const void*, Block> blocks;

  int com_depth = 0;
  DWORD last_context = 0;
  bool failed_query_hands_back = false;
  std::vector<std::unique_ptr<LinkObject>> objects;
  std::vector<Save> saves;

  std::vector<int> box_answers;
  size_t next_answer = 0;
  std::vector<Box> boxes;

  std::vector<std::string> misuse;
};

State& state() {
  static State instance;
  return instance;
}

void misuse(const std::string& sentence) { state().misuse.push_back(sentence); }

uintptr_t new_handle_value() {
  State& s = state();
  const uintptr_t value = s.next_handle;
  s.next_handle += 4;
  return value;
}

// ---- Operations and their usual failure --------------------------------------------

enum class FaultKind {
  usual,          // has a usual failure result
  explicit_only,  // can be made to answer a given result, but has no usual failure
  never,          // a void result: cannot be faulted at all
};

struct OpInfo {
  const char* name;
  FaultKind kind;
  long long usual;
};

const std::vector<OpInfo>& operations() {
  static const std::vector<OpInfo> table = [] {
    std::vector<OpInfo> ops = {
        {"GetModuleFileNameW", FaultKind::usual, 0},
        {"GetSystemDirectoryW", FaultKind::usual, 0},
        {"GetEnvironmentVariableW", FaultKind::usual, 0},
        {"GetCommandLineW", FaultKind::usual, 0},
        {"GetCurrentProcessId", FaultKind::usual, 0},
        {"CreateProcessW", FaultKind::usual, 0},
        {"CloseHandle", FaultKind::usual, 0},
        {"CreateDirectoryW", FaultKind::usual, 0},
        {"GetFileAttributesW", FaultKind::usual, static_cast<long long>(INVALID_FILE_ATTRIBUTES)},
        {"CopyFileW", FaultKind::usual, 0},
        {"MoveFileExW", FaultKind::usual, 0},
        {"DeleteFileW", FaultKind::usual, 0},
        {"CompareStringOrdinal", FaultKind::usual, 0},
        {"wcscmp", FaultKind::explicit_only, 0},
        {"lstrlenW", FaultKind::explicit_only, 0},
        {"StringCchVPrintfW", FaultKind::usual, E_FAIL},
        {"RegGetValueW", FaultKind::usual, ERROR_ACCESS_DENIED},
        {"RegCreateKeyExW", FaultKind::usual, ERROR_ACCESS_DENIED},
        {"RegSetValueExW", FaultKind::usual, ERROR_ACCESS_DENIED},
        {"RegCloseKey", FaultKind::usual, ERROR_ACCESS_DENIED},
        {"RegDeleteKeyW", FaultKind::usual, ERROR_ACCESS_DENIED},
        {"SHGetKnownFolderPath", FaultKind::usual, E_FAIL},
        {"CoTaskMemFree", FaultKind::never, 0},
        {"CoInitializeEx", FaultKind::usual, E_FAIL},
        {"CoUninitialize", FaultKind::never, 0},
        {"CoCreateInstance", FaultKind::usual, E_FAIL},
        {"MessageBoxW", FaultKind::usual, 0},
        {"restrict_dll_search", FaultKind::never, 0},
        {"IUnknown::AddRef", FaultKind::explicit_only, 0},
        {"IUnknown::Release", FaultKind::explicit_only, 0},
        {"IShellLinkW::QueryInterface", FaultKind::usual, E_FAIL},
        {"IPersistFile::QueryInterface", FaultKind::usual, E_FAIL},
    };
    for (const char* method :
         {"IShellLinkW::GetPath", "IShellLinkW::GetIDList", "IShellLinkW::SetIDList",
          "IShellLinkW::GetDescription", "IShellLinkW::SetDescription",
          "IShellLinkW::GetWorkingDirectory", "IShellLinkW::SetWorkingDirectory",
          "IShellLinkW::GetArguments", "IShellLinkW::SetArguments", "IShellLinkW::GetHotkey",
          "IShellLinkW::SetHotkey", "IShellLinkW::GetShowCmd", "IShellLinkW::SetShowCmd",
          "IShellLinkW::GetIconLocation", "IShellLinkW::SetIconLocation",
          "IShellLinkW::SetRelativePath", "IShellLinkW::Resolve", "IShellLinkW::SetPath",
          "IPersistFile::GetClassID", "IPersistFile::IsDirty", "IPersistFile::Load",
          "IPersistFile::Save", "IPersistFile::SaveCompleted", "IPersistFile::GetCurFile"}) {
      ops.push_back({method, FaultKind::usual, E_FAIL});
    }
    return ops;
  }();
  return table;
}

const OpInfo* find_op(const std::string& op) {
  for (const OpInfo& info : operations()) {
    if (op == info.name) {
      return &info;
    }
  }
  return nullptr;
}

// ---- The call scope -------------------------------------------------------------

template <typename T>
T convert(long long value) {
  if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<T>(static_cast<intptr_t>(value));
  } else {
    return static_cast<T>(value);
  }
}

class CallScope {
 public:
  CallScope(const char* op, std::wstring detail) {
    State& s = state();
    index_ = s.calls.size();
    std::optional<long long> hit;
    for (FaultRule& rule : s.faults) {
      if (rule.op != op) {
        continue;
      }
      ++rule.seen;
      if (!hit && (rule.nth == 0 || rule.seen == rule.nth)) {
        hit = rule.result;
      }
    }
    fault_ = hit;
    s.calls.push_back(Call{op, std::move(detail), hit.has_value()});
  }
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;
  ~CallScope() {
    State& s = state();
    if (s.after_call && !s.in_hook) {
      // A copy: the hook may replace itself.
      std::function<void(size_t)> hook = s.after_call;
      s.in_hook = true;
      hook(index_);
      s.in_hook = false;
    }
  }
  bool failed() const { return fault_.has_value(); }
  template <typename T>
  T fault() const {
    return convert<T>(*fault_);
  }

 private:
  size_t index_ = 0;
  std::optional<long long> fault_;
};

// ---- Files --------------------------------------------------------------------

const Node& root_node() {
  static const Node node{true, FILE_ATTRIBUTE_DIRECTORY, "", false, true};
  return node;
}

const Node* find_node(const PathName& name) {
  if (name.root) {
    return &root_node();
  }
  auto& files = state().world.files;
  auto found = files.find(name.key);
  return found == files.end() ? nullptr : &found->second.node;
}

bool dir_exists(const PathName& name) {
  const Node* node = find_node(name);
  return node != nullptr && node->directory;
}

// Creates every missing directory down to and including `name`; false when a
// file stands in the way.
bool make_dirs(const PathName& name) {
  auto& files = state().world.files;
  for (size_t count = 1; count <= name.parts.size(); ++count) {
    if (count == 1 && is_drive(name.parts[0])) {
      continue;
    }
    const std::wstring spelled = join(name.parts, count);
    const std::wstring key = lower(spelled);
    auto found = files.find(key);
    if (found == files.end()) {
      files[key] = FileEntry{spelled, Node{true, FILE_ATTRIBUTE_DIRECTORY, "", false, true}};
    } else if (!found->second.node.directory) {
      return false;
    }
  }
  return true;
}

void erase_tree(const std::wstring& key) {
  auto& files = state().world.files;
  files.erase(key);
  const std::wstring prefix = key + L"\\";
  auto at = files.lower_bound(prefix);
  while (at != files.end() && starts_with(at->first, prefix)) {
    at = files.erase(at);
  }
}

DWORD missing_error(const PathName& name) {
  return dir_exists(parent_of(name)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

BOOL fail_with(DWORD error) {
  ::SetLastError(error);
  return FALSE;
}

// ---- Registry -------------------------------------------------------------------

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

// ---- Known folders ---------------------------------------------------------------

PWSTR hand_out_block(const std::wstring& folder, const std::wstring& path) {
  Block block;
  block.memory.reset(new wchar_t[path.size() + 1]);
  std::copy(path.begin(), path.end(), block.memory.get());
  block.memory[path.size()] = L'\0';
  block.length = path.size();
  block.folder = folder;
  block.path = path;
  block.freed = false;
  PWSTR pointer = block.memory.get();
  state().blocks[pointer] = std::move(block);
  return pointer;
}

// ---- Message boxes ------------------------------------------------------------------

int default_button(UINT style) {
  std::vector<int> buttons;
  switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL: buttons = {IDOK, IDCANCEL}; break;
    case MB_ABORTRETRYIGNORE: buttons = {IDABORT, IDRETRY, IDIGNORE}; break;
    case MB_YESNOCANCEL: buttons = {IDYES, IDNO, IDCANCEL}; break;
    case MB_YESNO: buttons = {IDYES, IDNO}; break;
    case MB_RETRYCANCEL: buttons = {IDRETRY, IDCANCEL}; break;
    case MB_CANCELTRYCONTINUE: buttons = {IDCANCEL, IDTRYAGAIN, IDCONTINUE}; break;
    default: buttons = {IDOK}; break;
  }
  const size_t which = (style & MB_DEFMASK) >> 8;
  return which < buttons.size() ? buttons[which] : buttons[0];
}

// ---- COM object methods ---------------------------------------------------------------

// The common path of every method but the IUnknown ones: log, fault, then a
// released object is refused.
template <typename Body>
HRESULT method(LinkObject* object, const char* op, std::wstring detail, Body body) {
  CallScope scope(op, std::move(detail));
  if (scope.failed()) {
    return scope.fault<HRESULT>();
  }
  if (object->refs <= 0) {
    misuse(std::string(op) + " was called on " + object->name() + " after it was released");
    return E_UNEXPECTED;
  }
  return body();
}

HRESULT not_implemented(LinkObject* object, const char* op) {
  return method(object, op, L"", [] { return E_NOTIMPL; });
}

void* interface_of(LinkObject* object, REFIID iid) {
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IShellLinkW)) {
    return static_cast<IShellLinkW*>(&object->shell_link);
  }
  if (IsEqualIID(iid, IID_IPersistFile)) {
    return static_cast<IPersistFile*>(&object->persist_file);
  }
  return nullptr;
}

HRESULT query(LinkObject* object, const char* op, REFIID iid, void** out) {
  CallScope scope(op, interface_name(iid));
  if (out == nullptr) {
    return E_POINTER;
  }
  void* found = interface_of(object, iid);
  if (scope.failed()) {
    // Some callers are handed an interface despite a failure result; the
    // reference then has to be released like any other.
    if (state().failed_query_hands_back && found != nullptr && object->refs > 0) {
      ++object->refs;
      *out = found;
    } else {
      *out = nullptr;
    }
    return scope.fault<HRESULT>();
  }
  if (object->refs <= 0) {
    misuse(std::string(op) + " was called on " + object->name() + " after it was released");
    *out = nullptr;
    return E_UNEXPECTED;
  }
  if (found == nullptr) {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ++object->refs;
  *out = found;
  return S_OK;
}

ULONG add_ref(LinkObject* object, const wchar_t* through) {
  CallScope scope("IUnknown::AddRef", through);
  if (scope.failed()) {
    return scope.fault<ULONG>();
  }
  if (object->refs <= 0) {
    misuse("IUnknown::AddRef was called on " + object->name() + " after it was released");
    return 0;
  }
  return static_cast<ULONG>(++object->refs);
}

ULONG release(LinkObject* object, const wchar_t* through) {
  CallScope scope("IUnknown::Release", through);
  if (scope.failed()) {
    return scope.fault<ULONG>();
  }
  if (object->refs <= 0) {
    misuse("IUnknown::Release (through " + narrow(through) + ") was called on " +
           object->name() + " below zero references");
    return 0;
  }
  // At zero the object is destroyed as far as the caller can tell; its memory
  // stays until reset() so that a stale pointer is caught, not undefined.
  return static_cast<ULONG>(--object->refs);
}

HRESULT ShellLinkPart::QueryInterface(REFIID iid, void** out) {
  return query(owner_, "IShellLinkW::QueryInterface", iid, out);
}
ULONG ShellLinkPart::AddRef() { return add_ref(owner_, L"IShellLinkW"); }
ULONG ShellLinkPart::Release() { return release(owner_, L"IShellLinkW"); }
HRESULT ShellLinkPart::GetPath(LPWSTR, int, WIN32_FIND_DATAW*, DWORD) {
  return not_implemented(owner_, "IShellLinkW::GetPath");
}
HRESULT ShellLinkPart::GetIDList(PIDLIST_ABSOLUTE*) {
  return not_implemented(owner_, "IShellLinkW::GetIDList");
}
HRESULT ShellLinkPart::SetIDList(PCIDLIST_ABSOLUTE) {
  return not_implemented(owner_, "IShellLinkW::SetIDList");
}
HRESULT ShellLinkPart::GetDescription(LPWSTR, int) {
  return not_implemented(owner_, "IShellLinkW::GetDescription");
}
HRESULT ShellLinkPart::SetDescription(LPCWSTR text) {
  return method(owner_, "IShellLinkW::SetDescription", text_of(text), [&] {
    owner_->link.description = text_of(text);
    owner_->link.setters.push_back("SetDescription");
    return S_OK;
  });
}
HRESULT ShellLinkPart::GetWorkingDirectory(LPWSTR, int) {
  return not_implemented(owner_, "IShellLinkW::GetWorkingDirectory");
}
HRESULT ShellLinkPart::SetWorkingDirectory(LPCWSTR dir) {
  return method(owner_, "IShellLinkW::SetWorkingDirectory", text_of(dir), [&] {
    owner_->link.working_dir = text_of(dir);
    owner_->link.setters.push_back("SetWorkingDirectory");
    return S_OK;
  });
}
HRESULT ShellLinkPart::GetArguments(LPWSTR, int) {
  return not_implemented(owner_, "IShellLinkW::GetArguments");
}
HRESULT ShellLinkPart::SetArguments(LPCWSTR) {
  return not_implemented(owner_, "IShellLinkW::SetArguments");
}
HRESULT ShellLinkPart::GetHotkey(WORD*) { return not_implemented(owner_, "IShellLinkW::GetHotkey"); }
HRESULT ShellLinkPart::SetHotkey(WORD) { return not_implemented(owner_, "IShellLinkW::SetHotkey"); }
HRESULT ShellLinkPart::GetShowCmd(int*) {
  return not_implemented(owner_, "IShellLinkW::GetShowCmd");
}
HRESULT ShellLinkPart::SetShowCmd(int) {
  return not_implemented(owner_, "IShellLinkW::SetShowCmd");
}
HRESULT ShellLinkPart::GetIconLocation(LPWSTR, int, int*) {
  return not_implemented(owner_, "IShellLinkW::GetIconLocation");
}
HRESULT ShellLinkPart::SetIconLocation(LPCWSTR path, int index) {
  return method(owner_, "IShellLinkW::SetIconLocation",
                text_of(path) + L"," + std::to_wstring(index), [&] {
                  owner_->link.icon_path = text_of(path);
                  owner_->link.icon_index = index;
                  owner_->link.setters.push_back("SetIconLocation");
                  return S_OK;
                });
}
HRESULT ShellLinkPart::SetRelativePath(LPCWSTR, DWORD) {
  return not_implemented(owner_, "IShellLinkW::SetRelativePath");
}
HRESULT ShellLinkPart::Resolve(HWND, DWORD) {
  return not_implemented(owner_, "IShellLinkW::Resolve");
}
HRESULT ShellLinkPart::SetPath(LPCWSTR path) {
  return method(owner_, "IShellLinkW::SetPath", text_of(path), [&] {
    owner_->link.path = text_of(path);
    owner_->link.setters.push_back("SetPath");
    return S_OK;
  });
}

HRESULT PersistFilePart::QueryInterface(REFIID iid, void** out) {
  return query(owner_, "IPersistFile::QueryInterface", iid, out);
}
ULONG PersistFilePart::AddRef() { return add_ref(owner_, L"IPersistFile"); }
ULONG PersistFilePart::Release() { return release(owner_, L"IPersistFile"); }
HRESULT PersistFilePart::GetClassID(CLSID*) {
  return not_implemented(owner_, "IPersistFile::GetClassID");
}
HRESULT PersistFilePart::IsDirty() { return not_implemented(owner_, "IPersistFile::IsDirty"); }
HRESULT PersistFilePart::Load(LPCOLESTR, DWORD) {
  return not_implemented(owner_, "IPersistFile::Load");
}
HRESULT PersistFilePart::Save(LPCOLESTR file, WINBOOL remember) {
  return method(owner_, "IPersistFile::Save", text_of(file), [&]() -> HRESULT {
    if (file == nullptr) {
      return E_INVALIDARG;
    }
    const PathName name = path_name(file);
    if (!dir_exists(parent_of(name))) {
      return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    }
    auto& files = state().world.files;
    auto found = files.find(name.key);
    if (found != files.end()) {
      const Node& node = found->second.node;
      if (node.directory || (node.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return E_ACCESSDENIED;
      }
      if (node.in_use) {
        return HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
      }
      found->second.node = Node{false, FILE_ATTRIBUTE_NORMAL, link_content(owner_->link), false,
                                true};
    } else {
      files[name.key] =
          FileEntry{name.spelled, Node{false, FILE_ATTRIBUTE_NORMAL, link_content(owner_->link),
                                       false, true}};
    }
    state().saves.push_back(fake::Save{file, remember, owner_->link});
    return S_OK;
  });
}
HRESULT PersistFilePart::SaveCompleted(LPCOLESTR) {
  return not_implemented(owner_, "IPersistFile::SaveCompleted");
}
HRESULT PersistFilePart::GetCurFile(LPOLESTR*) {
  return not_implemented(owner_, "IPersistFile::GetCurFile");
}

// The first token of a command line, for CreateProcessW without an application.
std::wstring first_token(const wchar_t* line) {
  std::wstring token;
  if (line == nullptr) {
    return token;
  }
  bool quoted = false;
  for (const wchar_t* at = line; *at != L'\0'; ++at) {
    if (*at == L'"') {
      quoted = !quoted;
    } else if (!quoted && (*at == L' ' || *at == L'\t')) {
      break;
    } else {
      token += *at;
    }
  }
  return token;
}

}  // namespace detail

using namespace detail;

// ---- Control panel ------------------------------------------------------------------

void reset() {
  State& s = state();
  s = State{};
  add_dir(kLocalAppData);
  add_dir(kDesktop);
  add_dir(kPrograms);
  add_dir(kDownloads);
  add_dir(kSystemDir);
  add_file(kSetupPath, "setup-image");
  s.world.registry[RegId{0, L""}] = RegKey{L"", {}};
  s.world.registry[RegId{1, L""}] = RegKey{L"", {}};
  s.world.known_folders[FOLDERID_LocalAppData] = kLocalAppData;
  s.world.known_folders[FOLDERID_Desktop] = kDesktop;
  s.world.known_folders[FOLDERID_Programs] = kPrograms;
  s.module_path = kSetupPath;
  s.system_dir = kSystemDir;
  s.process_id = kProcessId;
  const std::wstring line = std::wstring(L"\"") + kSetupPath + L"\"";
  set_command_line(line.c_str());
}

void fail(const std::string& op, long long result, int nth) {
  const OpInfo* info = find_op(op);
  if (info == nullptr) {
    misuse("fail() was asked to fail \"" + op + "\", which is not an operation of the fake");
    return;
  }
  if (info->kind == FaultKind::never) {
    misuse("fail() was asked to fail " + op + ", which has no result and cannot fail");
    return;
  }
  if (nth < 0) {
    misuse("fail() was given a negative call number for " + op);
    return;
  }
  state().faults.push_back(FaultRule{op, result, nth});
}

void fail_usual(const std::string& op, int nth) {
  const std::optional<long long> usual = failure_result(op);
  if (find_op(op) == nullptr) {
    fail(op, 0LL, nth);  // reported there as an unknown operation
    return;
  }
  if (!usual) {
    misuse("fail() without a result was asked to fail \"" + op +
           "\", which has no usual failure result");
    return;
  }
  fail(op, *usual, nth);
}

std::optional<long long> failure_result(const std::string& op) {
  const OpInfo* info = find_op(op);
  if (info == nullptr || info->kind != FaultKind::usual) {
    return std::nullopt;
  }
  return info->usual;
}

void clear_faults() { state().faults.clear(); }

const std::vector<Call>& calls() { return state().calls; }

int find_call(const std::string& op, const std::wstring& detail) {
  const std::vector<Call>& log = state().calls;
  for (size_t i = 0; i < log.size(); ++i) {
    if (log[i].op == op && (detail.empty() || log[i].detail == detail)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

void set_after_call(std::function<void(size_t index)> hook) { state().after_call = std::move(hook); }

void add_dir(const std::wstring& path) {
  if (!make_dirs(path_name(path))) {
    misuse("add_dir: a file stands in the way of " + narrow(path));
  }
}

void add_file(const std::wstring& path, const std::string& content, DWORD attributes) {
  const PathName name = path_name(path);
  if (name.parts.empty() || name.root) {
    misuse("add_file: " + narrow(path) + " cannot be a file");
    return;
  }
  if (!make_dirs(parent_of(name))) {
    misuse("add_file: a file stands in the way of the parent of " + narrow(path));
    return;
  }
  auto& files = state().world.files;
  auto found = files.find(name.key);
  if (found != files.end() && found->second.node.directory) {
    misuse("add_file: a directory is already at " + narrow(path));
    return;
  }
  Node node{false, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), content, false,
            true};
  if (found != files.end()) {
    found->second.node = node;
  } else {
    files[name.key] = FileEntry{name.spelled, node};
  }
}

void set_in_use(const std::wstring& path, bool in_use) {
  auto& files = state().world.files;
  auto found = files.find(path_name(path).key);
  if (found == files.end()) {
    misuse("set_in_use: nothing exists at " + narrow(path));
    return;
  }
  found->second.node.in_use = in_use;
}

void set_startable(const std::wstring& path, bool startable) {
  auto& files = state().world.files;
  auto found = files.find(path_name(path).key);
  if (found == files.end()) {
    misuse("set_startable: nothing exists at " + narrow(path));
    return;
  }
  found->second.node.startable = startable;
}

void remove(const std::wstring& path) { erase_tree(path_name(path).key); }

std::optional<Node> node(const std::wstring& path) {
  const Node* found = find_node(path_name(path));
  if (found == nullptr) {
    return std::nullopt;
  }
  return *found;
}

bool is_dir(const std::wstring& path) { return dir_exists(path_name(path)); }

bool is_file(const std::wstring& path) {
  const Node* found = find_node(path_name(path));
  return found != nullptr && !found->directory;
}

std::vector<std::wstring> tree(const std::wstring& folder) {
  const std::wstring key = path_name(folder).key;
  const std::wstring prefix = key + L"\\";
  std::vector<std::wstring> out;
  for (const auto& entry : state().world.files) {
    if (entry.first == key || starts_with(entry.first, prefix)) {
      out.push_back(entry.second.spelled);
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

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

void set_known_folder(REFKNOWNFOLDERID id, const std::wstring& path) {
  state().world.known_folders[id] = path;
}

void remove_known_folder(REFKNOWNFOLDERID id) { state().world.known_folders.erase(id); }

void set_known_folder_answer(REFKNOWNFOLDERID id, HRESULT result, bool hand_back_block) {
  state().answers[id] = Answer{result, hand_back_block};
}

void set_env(const std::wstring& name, const std::wstring& value) {
  state().world.env[lower(name)] = EnvEntry{name, value};
}

void unset_env(const std::wstring& name) { state().world.env.erase(lower(name)); }

void set_module_path(const std::wstring& path) { state().module_path = path; }

void set_system_dir(const std::wstring& path) { state().system_dir = path; }

void set_process_id(DWORD id) { state().process_id = id; }

void set_command_line(const wchar_t* line) {
  State& s = state();
  s.has_command_line = line != nullptr;
  s.command_line.clear();
  if (line != nullptr) {
    s.command_line.assign(line, line + std::wcslen(line));
  }
  s.command_line.push_back(L'\0');
}

const std::vector<Process>& processes() { return state().processes; }

void answer_boxes(const std::vector<int>& answers) {
  State& s = state();
  s.box_answers = answers;
  s.next_answer = 0;
}

const std::vector<Box>& boxes() { return state().boxes; }

const std::vector<Save>& saves() { return state().saves; }

std::string link_content(const Link& link) {
  return "shortcut\npath=" + narrow(link.path) + "\nworking_dir=" + narrow(link.working_dir) +
         "\ndescription=" + narrow(link.description) + "\nicon=" + narrow(link.icon_path) + "," +
         std::to_string(link.icon_index) + "\n";
}

void set_failed_query_hands_back_object(bool hand_back) {
  state().failed_query_hands_back = hand_back;
}

DWORD last_cocreate_context() { return state().last_context; }

int com_depth() { return state().com_depth; }

std::vector<std::string> problems() {
  State& s = state();
  std::vector<std::string> out = s.misuse;
  for (const auto& entry : s.key_handles) {
    if (entry.second.open) {
      out.push_back("the registry handle of " + narrow(entry.second.text) +
                    " from RegCreateKeyExW was never closed with RegCloseKey");
    }
  }
  for (const auto& entry : s.process_handles) {
    if (entry.second.open) {
      out.push_back("the " + entry.second.kind + " handle of process " +
                    std::to_string(entry.second.pid) + " (" + narrow(entry.second.application) +
                    ") was never closed with CloseHandle");
    }
  }
  for (const auto& entry : s.blocks) {
    if (!entry.second.freed) {
      out.push_back("the known-folder block for " + narrow(entry.second.folder) + " (" +
                    narrow(entry.second.path) + ") was never freed with CoTaskMemFree");
    }
  }
  for (const auto& object : s.objects) {
    if (object->refs > 0) {
      out.push_back(object->name() + " still holds " + std::to_string(object->refs) +
                    " reference(s): it was never released to zero");
    }
  }
  if (s.com_depth > 0) {
    out.push_back("CoInitializeEx succeeded " + std::to_string(s.com_depth) +
                  " more time(s) than CoUninitialize was called");
  }
  return out;
}

void clear_problems() { state().misuse.clear(); }

std::shared_ptr<World> save_world() { return std::make_shared<World>(state().world); }

void restore_world(const std::shared_ptr<World>& world) {
  if (world == nullptr) {
    misuse("restore_world was given no world");
    return;
  }
  state().world = *world;
}

}  // namespace fake

// ---- The seam ---------------------------------------------------------------------------

namespace win {

using namespace fake::detail;

DWORD GetModuleFileNameW(HMODULE module, LPWSTR out, DWORD size) {
  CallScope scope("GetModuleFileNameW", L"");
  if (scope.failed()) {
    return scope.fault<DWORD>();
  }
  if (module != nullptr) {
    // Only the program's own module exists in the fake.
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (size == 0 || out == nullptr) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  const std::wstring& path = state().module_path;
  const DWORD length = static_cast<DWORD>(path.size());
  if (length < size) {
    std::copy(path.begin(), path.end(), out);
    out[length] = L'\0';
    return length;
  }
  // Vista and later: cut to size - 1 units, terminated, and report size.
  std::copy(path.begin(), path.begin() + (size - 1), out);
  out[size - 1] = L'\0';
  ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

UINT GetSystemDirectoryW(LPWSTR out, UINT size) {
  CallScope scope("GetSystemDirectoryW", L"");
  if (scope.failed()) {
    return scope.fault<UINT>();
  }
  const std::wstring& path = state().system_dir;
  const UINT length = static_cast<UINT>(path.size());
  if (out == nullptr || length + 1 > size) {
    return length + 1;
  }
  std::copy(path.begin(), path.end(), out);
  out[length] = L'\0';
  return length;
}

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR out, DWORD size) {
  CallScope scope("GetEnvironmentVariableW", text_of(name));
  if (scope.failed()) {
    return scope.fault<DWORD>();
  }
  if (name == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const auto& env = state().world.env;
  auto found = env.find(lower(name));
  if (found == env.end()) {
    ::SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  const std::wstring& value = found->second.value;
  const DWORD length = static_cast<DWORD>(value.size());
  if (out == nullptr || length + 1 > size) {
    return length + 1;
  }
  std::copy(value.begin(), value.end(), out);
  out[length] = L'\0';
  return length;
}

LPWSTR GetCommandLineW() {
  CallScope scope("GetCommandLineW", L"");
  if (scope.failed()) {
    return scope.fault<LPWSTR>();
  }
  State& s = state();
  return s.has_command_line ? s.command_line.data() : nullptr;
}

DWORD GetCurrentProcessId() {
  CallScope scope("GetCurrentProcessId", L"");
  if (scope.failed()) {
    return scope.fault<DWORD>();
  }
  return state().process_id;
}

BOOL CreateProcessW(LPCWSTR application, LPWSTR command_line,
                    LPSECURITY_ATTRIBUTES process_attributes,
                    LPSECURITY_ATTRIBUTES thread_attributes, BOOL inherit_handles,
                    DWORD creation_flags, LPVOID environment, LPCWSTR working_dir,
                    LPSTARTUPINFOW startup_info, LPPROCESS_INFORMATION process_info) {
  CallScope scope("CreateProcessW", text_of(application));
  if (scope.failed()) {
    return scope.fault<BOOL>();
  }
  if (startup_info == nullptr || process_info == nullptr) {
    return fail_with(ERROR_INVALID_PARAMETER);
  }
  const std::wstring program = application != nullptr ? application : first_token(command_line);
  const fake::Node* image = find_node(path_name(program));
  if (image == nullptr) {
    return fail_with(ERROR_FILE_NOT_FOUND);
  }
  if (image->directory) {
    return fail_with(ERROR_ACCESS_DENIED);
  }
  if (!image->startable) {
    return fail_with(ERROR_BAD_EXE_FORMAT);
  }
  if (working_dir != nullptr && !dir_exists(path_name(working_dir))) {
    return fail_with(ERROR_DIRECTORY);
  }
  State& s = state();
  s.processes.push_back(fake::Process{text_of(application), text_of(command_line),
                                      process_attributes == nullptr, thread_attributes == nullptr,
                                      inherit_handles, creation_flags, environment == nullptr,
                                      text_of(working_dir), startup_info->cb,
                                      startup_info->dwFlags});
  const DWORD pid = s.next_pid++;
  const HANDLE process = reinterpret_cast<HANDLE>(new_handle_value());
  const HANDLE thread = reinterpret_cast<HANDLE>(new_handle_value());
  s.process_handles[process] = ProcessHandle{"process", pid, program, true};
  s.process_handles[thread] = ProcessHandle{"thread", pid, program, true};
  process_info->hProcess = process;
  process_info->hThread = thread;
  process_info->dwProcessId = pid;
  process_info->dwThreadId = pid + 1000;
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  State& s = state();
  auto found = s.process_handles.find(handle);
  CallScope scope("CloseHandle",
                  found == s.process_handles.end() ? L"unknown" : widen(found->second.kind));
  if (scope.failed()) {
    return scope.fault<BOOL>();
  }
  if (found == s.process_handles.end()) {
    char text[64];
    std::snprintf(text, sizeof(text), "CloseHandle was passed an unknown handle %p", handle);
    misuse(text);
    return fail_with(ERROR_INVALID_HANDLE);
  }
  if (!found->second.open) {
    misuse("CloseHandle was called twice on the " + found->second.kind + " handle of process " +
           std::to_string(found->second.pid) + " (" + narrow(found->second.application) + ")");
    return fail_with(ERROR_INVALID_HANDLE);
  }
  found->second.open = false;
  return TRUE;
}

BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES) {
  CallScope scope("CreateDirectoryW", text_of(path));
  if (scope.failed()) {
    return scope.fault<BOOL>();
  }
  if (path == nullptr) {
    return fail_with(ERROR_PATH_NOT_FOUND);
  }
  const PathName name = path_name(path);
  if (name.parts.empty()) {
    return fail_with(ERROR_PATH_NOT_FOUND);
  }
  if (find_node(name) != nullptr) {
    return fail_with(ERROR_ALREADY_EXISTS);
  }
  if (!dir_exists(parent_of(name))) {
    return fail_with(ERROR_PATH_NOT_FOUND);
  }
  state().world.files[name.key] =
      FileEntry{name.spelled, fake::Node{true, FILE_ATTRIBUTE_DIRECTORY, "", false, true}};
  return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR path) {
  CallScope scope("GetFileAttributesW", text_of(path));
  if (scope.failed()) {
    return scope.fault<DWORD>();
  }
  if (path == nullptr) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  const PathName name = path_name(path);
  const fake::Node* found = find_node(name);
  if (found == nullptr) {
    ::SetLastError(missing_error(name));
    return INVALID_FILE_ATTRIBUTES;
  }
  return found->directory ? (found->attributes | FILE_ATTRIBUTE_DIRECTORY) : found->attributes;
}

BOOL CopyFileW(LPCWSTR from, LPCWSTR to, BOOL fail_if_exists) {
  CallScope scope("CopyFileW", text_of(to));
  if (scope.failed()) {
    return scope.fault<BOOL>();
  }
  if (from == nullptr || to == nullptr) {
    return fail_with(ERROR_INVALID_PARAMETER);
  }
  const PathName source = path_name(from);
  const PathName target = path_name(to);
  const fake::Node* original = find_node(source);
  if (original == nullptr) {
    return fail_with(missing_error(source));
  }
  if (original->directory) {
    return fail_with(ERROR_ACCESS_DENIED);
  }
  if (const fake::Node* existing = find_node(target)) {
    if (fail_if_exists) {
      return fail_with(ERROR_FILE_EXISTS);
    }
    if (existing->directory || (existing->attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      return fail_with(ERROR_ACCESS_DENIED);
    }
    if (existing->in_use) {
      return fail_with(ERROR_SHARING_VIOLATION);
    }
  }
  if (!dir_exists(parent_of(target))) {
    return fail_with(ERROR_PATH_NOT_FOUND);
  }
  const fake::Node copy{false, FILE_ATTRIBUTE_NORMAL, original->content, false,
                        original->startable};
  auto& files = state().world.files;
  auto existing = files.find(target.key);
  if (existing != files.end()) {
    existing->second.node = copy;
  } else {
    files[target.key] = FileEntry{target.spelled, copy};
  }
  return TRUE;
}

BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
  CallScope scope("MoveFileExW", text_of(to) + L" flags=" + number(flags));
  if (scope.failed()) {
    return scope.fault<BOOL>();
  }
  if (from == nullptr || to == nullptr) {
    return fail_with(ERROR_INVALID_PARAMETER);
  }
  const PathName source = path_name(from);
  const PathName target = path_name(to);
  auto& files = state().world.files;
  auto moving = files.find(source.key);
  if (moving == files.end()) {
    return fail_with(source.root ? ERROR_ACCESS_DENIED : missing_error(source));
  }
  if (moving->second.node.in_use) {
    return fail_with(ERROR_SHARING_VIOLATION);
  }
  const bool replace = (flags & MOVEFILE_REPLACE_EXISTING) != 0;
  if (const fake::Node* existing = find_node(target)) {
    if (!replace) {
      return fail_with(ERROR_ALREADY_EXISTS);
    }
    if (target.key != source.key &&
        (existing->directory || existing->in_use ||
         (existing->attributes & FILE_ATTRIBUTE_READONLY) != 0)) {
      return fail_with(ERROR_ACCESS_DENIED);
    }
  }
  if (!dir_exists(parent_of(target))) {
    return fail_with(ERROR_PATH_NOT_FOUND);
  }
  if (starts_with(target.key, source.key + L"\\")) {
    return fail_with(ERROR_ACCESS_DENIED);  // a directory into itself
  }
  // A directory moves with everything below it.
  std::vector<std::pair<std::wstring, FileEntry>> moved;
  const std::wstring prefix = source.key + L"\\";
  for (const auto& entry : files) {
    if (entry.first == source.key || starts_with(entry.first, prefix)) {
      const std::wstring rest = entry.second.spelled.substr(source.spelled.size());
      moved.emplace_back(target.key + lower(rest), FileEntry{target.spelled + rest,
                                                             entry.second.node});
    }
  }
  erase_tree(source.key);
  files.erase(target.key);
  for (auto& entry : moved) {
    files[entry.first] = std::move(entry.second);
  }
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR path) {
  CallScope scope("DeleteFileW", text_of(path));
  if (scope.failed()) {
    return scope.fault<BOOL>();
  }
  if (path == nullptr) {
    return fail_with(ERROR_PATH_NOT_FOUND);
  }
  const PathName name = path_name(path);
  const fake::Node* found = find_node(name);
  if (found == nullptr) {
    return fail_with(missing_error(name));
  }
  if (found->directory || found->in_use || (found->attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return fail_with(ERROR_ACCESS_DENIED);
  }
  state().world.files.erase(name.key);
  return TRUE;
}

int CompareStringOrdinal(LPCWCH left, int left_length, LPCWCH right, int right_length,
                         BOOL ignore_case) {
  std::wstring detail = L"<null>";
  if (left != nullptr) {
    detail = left_length < 0 ? std::wstring(left) : std::wstring(left, left_length);
  }
  CallScope scope("CompareStringOrdinal", detail);
  if (scope.failed()) {
    return scope.fault<int>();
  }
  return ::CompareStringOrdinal(left, left_length, right, right_length, ignore_case);
}

int wcscmp(const wchar_t* left, const wchar_t* right) {
  CallScope scope("wcscmp", text_of(left));
  if (scope.failed()) {
    return scope.fault<int>();
  }
  if (left == nullptr || right == nullptr) {
    // The real function would crash; here the test is told instead.
    misuse("wcscmp was passed a null pointer");
    return left == right ? 0 : (left == nullptr ? -1 : 1);
  }
  return ::wcscmp(left, right);
}

int lstrlenW(LPCWSTR text) {
  CallScope scope("lstrlenW", text_of(text));
  if (scope.failed()) {
    return scope.fault<int>();
  }
  return ::lstrlenW(text);
}

HRESULT StringCchVPrintfW(LPWSTR out, size_t capacity, LPCWSTR format, va_list args) {
  CallScope scope("StringCchVPrintfW", text_of(format));
  if (scope.failed()) {
    return scope.fault<HRESULT>();
  }
  return ::StringCchVPrintfW(out, capacity, format, args);
}

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
  const fake::RegValue* value = find_value(*key, value_name != nullptr ? value_name : L"");
  if (value == nullptr) {
    return ERROR_FILE_NOT_FOUND;
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

HRESULT SHGetKnownFolderPath(REFKNOWNFOLDERID folder_id, DWORD flags, HANDLE, PWSTR* path) {
  const std::wstring name = folder_name(folder_id);
  CallScope scope("SHGetKnownFolderPath", name);
  if (scope.failed()) {
    if (path != nullptr) {
      *path = nullptr;
    }
    return scope.fault<HRESULT>();
  }
  if (path == nullptr) {
    return E_INVALIDARG;
  }
  State& s = state();
  auto known = s.world.known_folders.find(folder_id);
  auto answer = s.answers.find(folder_id);
  if (answer != s.answers.end()) {
    const std::wstring text = known != s.world.known_folders.end() ? known->second : L"";
    *path = answer->second.hand_back_block ? hand_out_block(name, text) : nullptr;
    return answer->second.result;
  }
  *path = nullptr;
  if (known == s.world.known_folders.end()) {
    return E_INVALIDARG;
  }
  if ((flags & KF_FLAG_CREATE) != 0 && !make_dirs(path_name(known->second))) {
    return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);  // a file sits where the folder belongs
  }
  *path = hand_out_block(name, known->second);
  return S_OK;
}

void CoTaskMemFree(LPVOID block) {
  State& s = state();
  auto found = s.blocks.find(block);
  std::wstring detail = block == nullptr              ? L"<null>"
                        : found == s.blocks.end()     ? L"<unknown>"
                                                      : found->second.folder;
  CallScope scope("CoTaskMemFree", detail);
  if (block == nullptr) {
    return;
  }
  if (found == s.blocks.end()) {
    char text[96];
    std::snprintf(text, sizeof(text),
                  "CoTaskMemFree was passed %p, a pointer the fake never handed out", block);
    misuse(text);
    return;
  }
  if (found->second.freed) {
    misuse("the known-folder block for " + narrow(found->second.folder) + " (" +
           narrow(found->second.path) + ") was freed twice");
    return;
  }
  found->second.freed = true;
  // Overwritten so that a read after the free shows up as garbage.
  std::fill(found->second.memory.get(), found->second.memory.get() + found->second.length, L'#');
}

HRESULT CoInitializeEx(LPVOID, DWORD apartment) {
  CallScope scope("CoInitializeEx", L"flags=" + number(apartment));
  if (scope.failed()) {
    return scope.fault<HRESULT>();
  }
  State& s = state();
  return s.com_depth++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
  CallScope scope("CoUninitialize", L"");
  State& s = state();
  if (s.com_depth <= 0) {
    misuse("CoUninitialize was called without a matching CoInitializeEx");
    return;
  }
  --s.com_depth;
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                         LPVOID* object) {
  CallScope scope("CoCreateInstance", class_name(clsid) + L" " + interface_name(iid) +
                                          L" context=" + number(context));
  if (scope.failed()) {
    return scope.fault<HRESULT>();
  }
  State& s = state();
  s.last_context = context;
  if (object == nullptr) {
    return E_POINTER;
  }
  *object = nullptr;
  if (s.com_depth <= 0) {
    return CO_E_NOTINITIALIZED;
  }
  if (outer != nullptr) {
    return CLASS_E_NOAGGREGATION;
  }
  if (!IsEqualCLSID(clsid, CLSID_ShellLink)) {
    return REGDB_E_CLASSNOTREG;
  }
  if (!IsEqualIID(iid, IID_IShellLinkW)) {
    return E_NOINTERFACE;
  }
  s.objects.push_back(std::make_unique<LinkObject>(static_cast<int>(s.objects.size()) + 1));
  *object = static_cast<IShellLinkW*>(&s.objects.back()->shell_link);
  return S_OK;
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
  CallScope scope("MessageBoxW", text_of(text));
  if (scope.failed()) {
    return scope.fault<int>();
  }
  State& s = state();
  s.boxes.push_back(fake::Box{owner, text_of(text), text_of(caption), style});
  if (s.next_answer < s.box_answers.size()) {
    return s.box_answers[s.next_answer++];
  }
  return default_button(style);
}

void restrict_dll_search() { CallScope scope("restrict_dll_search", L""); }

}  // namespace win
