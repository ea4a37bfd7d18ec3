// The fake Windows: its shared state, faults, call log, accounting and snapshots.
#include "tests/fake/fake_internal.h"

#include <algorithm>
#include <cstdio>
#include <cwctype>

namespace fake {
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
        {"SetFileAttributesW", FaultKind::usual, 0},
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

}  // namespace detail

using namespace detail;

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

