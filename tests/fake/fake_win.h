// An in-memory Windows behind the seam of platform/win.h, for unit tests.
//
// fake_*.cpp define every win:: function against the world described here;
// this header is the tests' control panel: set the world up, script answers,
// make any operation fail, read back what the code under test did, and check
// that it released everything it acquired.
//
// Paths compare case-insensitively. The world is one process-wide instance;
// reset() gives a fresh default world (see the defaults below).
#pragma once

#include "platform/win.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fake {

// ---- The default world that reset() builds ----------------------------------
inline const wchar_t* const kLocalAppData = L"C:\\Users\\tester\\AppData\\Local";
inline const wchar_t* const kDesktop = L"C:\\Users\\tester\\Desktop";
inline const wchar_t* const kPrograms =
    L"C:\\Users\\tester\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
inline const wchar_t* const kDownloads = L"C:\\Users\\tester\\Downloads";
inline const wchar_t* const kSetupPath =
    L"C:\\Users\\tester\\Downloads\\QUENTARO-ERP-Windows-x64-Setup-2026-12-04.exe";
inline const wchar_t* const kSystemDir = L"C:\\windows\\system32";
inline const DWORD kProcessId = 4242;
// reset(): the folders above exist; the module path is kSetupPath (a file with
// the content "setup-image"); the command line is the quoted kSetupPath; the
// process id is kProcessId; the system directory is kSystemDir; the known
// folders LocalAppData, Desktop and Programs map to the paths above; no
// environment variable is set; HKCU and HKLM are empty; no faults; COM is not
// initialised; message boxes answer with their default button.
void reset();

// ---- Faults -----------------------------------------------------------------
// Operation names are the win:: function names ("CreateDirectoryW",
// "RegSetValueExW", ...) and, for the COM objects, "IShellLinkW::SetPath",
// "IShellLinkW::SetWorkingDirectory", "IShellLinkW::SetDescription",
// "IShellLinkW::SetIconLocation", "IShellLinkW::QueryInterface",
// "IPersistFile::Save".
//
// Makes the nth call (1-based, counted from now) of `op` fail with `result`;
// nth 0 makes every call fail. A failing call changes nothing in the world and
// returns `result` converted to the function's result type; out-parameters are
// left as they were, except as noted under known folders, and except that a
// failing StringCchVPrintfW leaves a cut text (the whole text less its last
// unit), as a real one that did not fit would.
void fail(const std::string& op, long long result, int nth = 0);
// The same with the operation's usual failure result (failure_result()).
void fail_usual(const std::string& op, int nth = 0);
// The usual failure result of an operation: 0 for BOOL and length results,
// INVALID_FILE_ATTRIBUTES, E_FAIL for HRESULTs, ERROR_ACCESS_DENIED for
// LSTATUS, 0 for MessageBoxW and CompareStringOrdinal. nullopt for operations
// that cannot fail (void results: CoTaskMemFree, CoUninitialize,
// restrict_dll_search; and the pure text functions wcscmp, lstrlenW).
std::optional<long long> failure_result(const std::string& op);
void clear_faults();

// ---- The log of calls -------------------------------------------------------
// One entry per call of a win:: function or a fake COM method, in order, also
// for calls that were made to fail. `detail` is the call's main argument in
// text form: a path, a value name, a box text, a folder id name ("LocalAppData",
// "Desktop", "Programs"), a variable name. Null text arguments read L"<null>";
// numbers are decimal. In particular:
//   CopyFileW         the destination path
//   MoveFileExW       L"<to> flags=<flags>"
//   SetFileAttributesW L"<path> attributes=<attributes>"
//   CreateProcessW    the application path
//   CloseHandle       L"process", L"thread" or L"unknown"
//   RegGetValueW      L"HKCU\\<subkey> value=<name>" (HKLM likewise; name L"" for null)
//   RegCreateKeyExW   L"HKCU\\<subkey> access=<access>"
//   RegSetValueExW    the value name
//   RegCloseKey       the key's L"HKCU\\<subkey>"; RegDeleteKeyW likewise
//   CoTaskMemFree     the block's folder id name, L"<null>" or L"<unknown>"
//   CoInitializeEx    L"flags=<apartment>"
//   CoCreateInstance  L"ShellLink IShellLinkW context=<context>" (GUID text when unknown)
//   COM methods       the argument; SetIconLocation L"<path>,<index>"; QueryInterface
//                     the interface asked for; "IUnknown::AddRef" and
//                     "IUnknown::Release" the interface called through
//                     (L"IShellLinkW" or L"IPersistFile")
struct Call {
  std::string op;
  std::wstring detail;
  bool failed;
};
const std::vector<Call>& calls();
// Index of the first call of `op` (optionally with `detail`) in calls(), or -1.
int find_call(const std::string& op, const std::wstring& detail = L"");
// Runs after every call has taken effect, with the call's index in calls().
void set_after_call(std::function<void(size_t index)> hook);

// ---- Files ------------------------------------------------------------------
struct Node {
  bool directory = false;
  DWORD attributes = FILE_ATTRIBUTE_NORMAL;  // FILE_ATTRIBUTE_DIRECTORY added for directories
  std::string content;                       // files only
  bool in_use = false;      // cannot be replaced, moved or deleted (a running executable)
  bool startable = true;    // CreateProcessW accepts it as a program
  // Named data streams ("Zone.Identifier", ...) by lower-case name, files only.
  // As on NTFS, CopyFileW copies them with the file (attributes too),
  // MoveFileExW moves them, and DeleteFileW on "<file>:<name>" deletes one
  // (refused for a read-only file, failing when there is no such stream).
  std::map<std::wstring, std::string> streams;
};
void add_dir(const std::wstring& path);  // parents are created too
void add_file(const std::wstring& path, const std::string& content = "",
              DWORD attributes = FILE_ATTRIBUTE_NORMAL);  // parents are created too
// Adds or replaces the named stream `name` of the existing file `path`.
void add_stream(const std::wstring& path, const std::wstring& name, const std::string& content);
void set_in_use(const std::wstring& path, bool in_use);
void set_startable(const std::wstring& path, bool startable);
void remove(const std::wstring& path);  // a file, or a directory with all below it
std::optional<Node> node(const std::wstring& path);
bool is_dir(const std::wstring& path);
bool is_file(const std::wstring& path);
// Paths of every file and directory at or below `folder`, as first spelled, sorted.
std::vector<std::wstring> tree(const std::wstring& folder);

// ---- Registry ---------------------------------------------------------------
// Roots are HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE. Value name L"" is the
// key's default value. RegGetValueW reads a REG_EXPAND_SZ value expanded from
// the fake environment, as REG_SZ, unless RRF_NOEXPAND is given.
struct RegValue {
  DWORD type;
  std::vector<BYTE> data;  // exactly the bytes written, byte count = size()
};
void set_reg_sz(HKEY root, const std::wstring& key, const std::wstring& name,
                const std::wstring& text);  // stored with its terminator
void set_reg_value(HKEY root, const std::wstring& key, const std::wstring& name,
                   DWORD type, const std::vector<BYTE>& data);
void add_reg_key(HKEY root, const std::wstring& key);  // parents too
bool reg_key_exists(HKEY root, const std::wstring& key);
std::optional<RegValue> reg_value(HKEY root, const std::wstring& key,
                                  const std::wstring& name);
// Value names in the order they were first written.
std::vector<std::wstring> reg_value_names(HKEY root, const std::wstring& key);
// Helpers to build and read REG_SZ data.
std::vector<BYTE> sz_bytes(const std::wstring& text);  // with the terminator
std::wstring sz_text(const RegValue& value);           // up to the first NUL

// ---- Known folders ----------------------------------------------------------
// SHGetKnownFolderPath answers from this table: a missing entry fails with
// E_INVALIDARG. With KF_FLAG_CREATE a missing folder (and its parents) is
// created. Each handed-out block is a fresh allocation that must be freed once
// with CoTaskMemFree.
void set_known_folder(REFKNOWNFOLDERID id, const std::wstring& path);
void remove_known_folder(REFKNOWNFOLDERID id);
// The next calls for `id` return `result`, and hand back a block holding the
// folder's path (hand_back_block true) or a null pointer.
void set_known_folder_answer(REFKNOWNFOLDERID id, HRESULT result, bool hand_back_block);

// ---- Process and environment ------------------------------------------------
void set_env(const std::wstring& name, const std::wstring& value);
void unset_env(const std::wstring& name);
void set_module_path(const std::wstring& path);
void set_system_dir(const std::wstring& path);
void set_process_id(DWORD id);
void set_command_line(const wchar_t* line);  // null: the process has no command line

struct Process {
  std::wstring application;
  std::wstring command_line;
  bool process_attributes_null;
  bool thread_attributes_null;
  BOOL inherit_handles;
  DWORD creation_flags;
  bool environment_null;
  std::wstring working_dir;  // L"<null>" when null was passed
  DWORD startup_cb;
  DWORD startup_flags;
};
// Every process that CreateProcessW started, in order.
const std::vector<Process>& processes();

// ---- Message boxes ----------------------------------------------------------
struct Box {
  HWND owner;
  std::wstring text;
  std::wstring caption;
  UINT style;
};
// Answers for the next boxes, in order; once used up, a box returns its default
// button (the first button, or the second with MB_DEFBUTTON2), as Enter would.
void answer_boxes(const std::vector<int>& answers);
const std::vector<Box>& boxes();

// ---- The Shell Link object --------------------------------------------------
// CoCreateInstance(CLSID_ShellLink, ..., IID_IShellLinkW) hands out a fake
// object that records its setters; IPersistFile::Save writes a file at the
// given path (its parent must exist) whose content is link_content() of the
// properties set, and records the save.
struct Link {
  std::wstring path;          // SetPath
  std::wstring working_dir;   // SetWorkingDirectory
  std::wstring description;   // SetDescription
  std::wstring icon_path;     // SetIconLocation
  int icon_index = -1;
  std::vector<std::string> setters;  // names of the setters called, in order
};
struct Save {
  std::wstring file;
  BOOL remember;
  Link link;
};
const std::vector<Save>& saves();
std::string link_content(const Link& link);
// QueryInterface made to fail hands back this non-null pointer (AddRef'd, so it
// must be released) instead of null, when set.
void set_failed_query_hands_back_object(bool hand_back);
// CoCreateInstance context, clsid and iid of the last call.
DWORD last_cocreate_context();

// ---- COM apartment ----------------------------------------------------------
// CoInitializeEx answers S_OK when the thread has no apartment and S_FALSE
// when it has one; CoCreateInstance answers CO_E_NOTINITIALIZED without one.
int com_depth();

// ---- Accounting -------------------------------------------------------------
// Every problem seen since reset(): a known-folder block not freed or freed
// twice, a pointer freed that the fake never handed out, a registry key left
// open or closed twice, a COM object not released to zero or released below
// zero, a process handle left open or closed twice, an unbalanced COM
// apartment, an unknown handle passed in. Empty when all is well.
std::vector<std::string> problems();
// Forgets the misuse recorded so far (double frees, unknown handles, ...), for
// a test that provokes it on purpose. Leaks are not forgotten: problems()
// computes them from what is still held.
void clear_problems();

// ---- Snapshots --------------------------------------------------------------
// The whole world (files, registry, known folders, environment) without the
// call log, faults, scripts or accounting; for interruption tests.
struct World;
std::shared_ptr<World> save_world();
void restore_world(const std::shared_ptr<World>& world);

}  // namespace fake
