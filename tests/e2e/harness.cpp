#include "tests/e2e/harness.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <set>

namespace e2e {

std::wstring setup_exe;
std::wstring browser_exe;
std::wstring screens_dir;

namespace {

const wchar_t kAppPaths[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\msedge.exe";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVELA ERP";
const DWORD kTimeoutMs = 30000;

void remove_tree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        remove_tree(child);
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
  DeleteFileW(path.c_str());
}

struct BoxSearch {
  DWORD process_id;
  std::vector<HWND> found;
};

BOOL CALLBACK collect_box(HWND window, LPARAM context) {
  BoxSearch* search = reinterpret_cast<BoxSearch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t class_name[16] = {};
  GetClassNameW(window, class_name, 16);
  if (owner == search->process_id && IsWindowVisible(window) &&
      std::wstring(class_name) == L"#32770") {
    search->found.push_back(window);
  }
  return TRUE;
}

std::wstring window_text(HWND window) {
  wchar_t text[2048] = {};
  GetWindowTextW(window, text, 2048);
  return text;
}

}  // namespace

std::wstring windows_path(const std::string& unix_path) {
  std::wstring path = L"Z:";
  for (char c : unix_path) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

std::wstring known_folder(REFKNOWNFOLDERID id) {
  PWSTR block = nullptr;
  std::wstring path;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &block))) path = block;
  CoTaskMemFree(block);
  return path;
}

std::wstring local_app_data() { return known_folder(FOLDERID_LocalAppData); }
std::wstring install_dir() { return local_app_data() + L"\\KORVELA ERP"; }
std::wstring install_exe() { return install_dir() + L"\\KORVELA ERP.exe"; }
std::wstring record_path() { return local_app_data() + L"\\korvela-e2e-record.txt"; }
std::wstring system_powershell() {
  wchar_t system_dir[MAX_PATH] = {};
  GetSystemDirectoryW(system_dir, MAX_PATH);
  return std::wstring(system_dir) + L"\\WindowsPowerShell\\v1.0\\powershell.exe";
}

std::wstring fake_edge() {
  return local_app_data() + L"\\korvela-e2e-edge\\Microsoft\\Edge\\Application\\msedge.exe";
}

void clean_world() {
  remove_tree(install_dir());
  remove_tree(local_app_data() + L"\\korvela-e2e-edge");
  DeleteFileW(record_path().c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, kAppPaths);
  SetEnvironmentVariableW(L"KORVELA_E2E_RECORD", record_path().c_str());
}

std::wstring desktop_link() { return known_folder(FOLDERID_Desktop) + L"\\KORVELA ERP.lnk"; }
std::wstring programs_link() { return known_folder(FOLDERID_Programs) + L"\\KORVELA ERP.lnk"; }

void clean_install() {
  clean_world();
  for (const std::wstring& link : {desktop_link(), programs_link()}) {
    DeleteFileW(link.c_str());
    RemoveDirectoryW(link.c_str());
  }
  RegDeleteKeyW(HKEY_CURRENT_USER, kUninstallKey);
}

void copy_file(const std::wstring& from, const std::wstring& to) {
  ASSERT_TRUE(CopyFileW(from.c_str(), to.c_str(), FALSE)) << "copy failed, error " << GetLastError();
}

bool is_file(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool is_dir(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void make_dirs(const std::wstring& path) {
  for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
    CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryW(path.c_str(), nullptr);
}

void register_edge(HKEY root, const std::wstring& value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, kAppPaths, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

bool uninstall_key_exists() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

std::vector<std::wstring> read_lines(const std::wstring& path) {
  std::vector<std::wstring> lines;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return lines;
  std::wstring text;
  wchar_t buffer[1024];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    text.append(buffer, read / sizeof(wchar_t));
  }
  CloseHandle(file);
  size_t start = 0;
  for (size_t end = text.find(L'\n'); end != std::wstring::npos; end = text.find(L'\n', start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::vector<std::wstring> read_record() { return read_lines(record_path()); }

Run run(const std::wstring& application, const std::wstring& command_line,
        const std::vector<int>& answers, const std::wstring& working_dir,
        const BoxHook& before_answer) {
  Run result;
  // The job tells when the product and every process it started have ended.
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  JOBOBJECT_ASSOCIATE_COMPLETION_PORT link = {job, port};
  SetInformationJobObject(job, JobObjectAssociateCompletionPortInformation, &link, sizeof(link));

  std::wstring line = command_line;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(application.c_str(), &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                      nullptr, working_dir.empty() ? nullptr : working_dir.c_str(), &startup,
                      &process)) {
    ADD_FAILURE() << "could not start the product, error " << GetLastError();
    CloseHandle(port);
    CloseHandle(job);
    return result;
  }
  AssignProcessToJobObject(job, process.hProcess);
  result.process_id = process.dwProcessId;
  ResumeThread(process.hThread);

  std::set<HWND> answered;
  size_t next_answer = 0;
  const DWORD start = GetTickCount();
  bool all_ended = false;
  while (!all_ended && GetTickCount() - start < kTimeoutMs) {
    BoxSearch search = {process.dwProcessId, {}};
    EnumWindows(collect_box, reinterpret_cast<LPARAM>(&search));
    for (HWND box : search.found) {
      if (!answered.insert(box).second) continue;
      result.boxes.push_back({window_text(box), window_text(GetDlgItem(box, 0xFFFF))});
      if (before_answer) before_answer(box, result.boxes.back(), result.boxes.size() - 1);
      const int answer = next_answer < answers.size() ? answers[next_answer++] : IDOK;
      PostMessageW(box, WM_COMMAND, answer, 0);
    }
    DWORD message = 0;
    ULONG_PTR key = 0;
    LPOVERLAPPED overlapped = nullptr;
    // A bounded wait on the job's messages paces the search for boxes.
    if (GetQueuedCompletionStatus(port, &message, &key, &overlapped, 50) &&
        message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO) {
      all_ended = true;
    }
    // Wine does not always post the message; the job's count tells as well.
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
    if (QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                  sizeof(accounting), nullptr) &&
        accounting.ActiveProcesses == 0) {
      all_ended = true;
    }
  }
  if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
    result.finished = true;
    GetExitCodeProcess(process.hProcess, &result.exit_code);
  } else {
    ADD_FAILURE() << "the product did not end within " << kTimeoutMs << " ms";
    TerminateProcess(process.hProcess, 99);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(port);
  CloseHandle(job);
  return result;
}

}  // namespace e2e

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--setup=", 0) == 0) e2e::setup_exe = e2e::windows_path(arg.substr(8));
    if (arg.rfind("--browser=", 0) == 0) e2e::browser_exe = e2e::windows_path(arg.substr(10));
    if (arg.rfind("--screens=", 0) == 0) e2e::screens_dir = e2e::windows_path(arg.substr(10));
  }
  if (e2e::setup_exe.empty() || e2e::browser_exe.empty()) {
    fprintf(stderr, "usage: e2e_tests --setup=<unix path> --browser=<unix path>\n");
    return 2;
  }
  return RUN_ALL_TESTS();
}
