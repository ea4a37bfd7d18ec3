// Internal to the fake Windows: the state that all of its parts share, the
// call scope through which every operation passes, and the helpers the parts
// lend each other. Tests include fake_win.h, never this header.
//
// Every win:: function goes through a CallScope: the call is logged first, then
// the injected faults are consulted (a faulted call touches nothing), and when
// the scope ends the after-call hook sees the world as the call left it.
// Resources the code under test acquires (process handles, registry handles,
// known-folder blocks, COM objects, the COM apartment) are tracked in State so
// that problems() can name whatever was leaked or released twice.
//
// Freed blocks and released COM objects stay allocated until reset(), so a
// stale pointer can never alias a fresh one and a second release is always
// recognised as such.
#pragma once

#include "tests/fake/fake_win.h"

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

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

// ---- Text helpers (fake_state.cpp) ------------------------------------------

std::wstring lower(const std::wstring& text);
std::wstring widen(const std::string& text);
std::string narrow(const std::wstring& text);
std::wstring text_of(const wchar_t* text);  // L"<null>" for null
std::wstring number(unsigned long long value);
std::wstring guid_text(const GUID& id);
std::wstring folder_name(const GUID& id);
std::wstring interface_name(REFIID iid);
std::wstring class_name(REFCLSID clsid);

// ---- Paths (fake_state.cpp) -------------------------------------------------

std::vector<std::wstring> split(const std::wstring& path, bool slash_too);
std::wstring join(const std::vector<std::wstring>& parts, size_t count);
bool is_drive(const std::wstring& part);

struct PathName {
  std::vector<std::wstring> parts;
  std::wstring spelled;
  std::wstring key;
  bool root = false;  // a drive root such as C:, which always exists
};

PathName path_name(const std::wstring& path);
PathName parent_of(const PathName& name);
bool starts_with(const std::wstring& text, const std::wstring& prefix);

// ---- The fake Shell Link object (methods in fake_shell.cpp) -----------------

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

State& state();
void misuse(const std::string& sentence);
uintptr_t new_handle_value();

// ---- Operations and their usual failure (fake_state.cpp) ---------------------

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

const std::vector<OpInfo>& operations();
const OpInfo* find_op(const std::string& op);

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

// ---- Files (fake_files.cpp) ---------------------------------------------------

Node dir_node();
Node file_node(DWORD attributes, const std::string& content);
const Node* find_node(const PathName& name);
// Splits "<file>:<stream>" (a colon in the last component, ":$DATA" allowed
// after the name) into the file and the lower-case stream name; false for a
// plain path.
bool stream_path(const std::wstring& path, PathName& file, std::wstring& stream);
bool dir_exists(const PathName& name);
// Creates every missing directory down to and including `name`; false when a
// file stands in the way.
bool make_dirs(const PathName& name);
void erase_tree(const std::wstring& key);
DWORD missing_error(const PathName& name);
BOOL fail_with(DWORD error);  // sets the thread's last error, returns FALSE

}  // namespace detail
}  // namespace fake
