// The fake Windows: known folders, the COM apartment, the Shell Link object and message boxes.
#include "tests/fake/fake_internal.h"

#include <algorithm>
#include <cstdio>

namespace fake {
namespace detail {

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
      found->second.node = file_node(FILE_ATTRIBUTE_NORMAL, link_content(owner_->link));
    } else {
      files[name.key] =
          FileEntry{name.spelled, file_node(FILE_ATTRIBUTE_NORMAL, link_content(owner_->link))};
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
}  // namespace detail

using namespace detail;

void set_known_folder(REFKNOWNFOLDERID id, const std::wstring& path) {
  state().world.known_folders[id] = path;
}

void remove_known_folder(REFKNOWNFOLDERID id) { state().world.known_folders.erase(id); }

void set_known_folder_answer(REFKNOWNFOLDERID id, HRESULT result, bool hand_back_block) {
  state().answers[id] = Answer{result, hand_back_block};
}

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

}  // namespace fake

namespace win {

using namespace fake::detail;

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

}  // namespace win
