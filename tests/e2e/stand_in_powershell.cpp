// Stands in for Windows PowerShell in the end-to-end tests. It accepts exactly
// the command line the launcher passes for its deferred delete and nothing
// looser: it waits for the process id given after "Wait-Process -Id " to end
// (a process already gone counts as ended), deletes
// <Local Application Data>\KORVELA ERP\KORVELA ERP.exe, and appends what it saw
// and did to the file named by KORVELA_E2E_PS_RECORD (UTF-16 lines):
//   command line / console=none|present / waited=yes|timeout / deleted=yes|no
// Any other command line is recorded as "FAIL" and nothing is deleted.
#include <windows.h>
#include <shlobj.h>

#include <string>

namespace {

const wchar_t kSwitches[] =
    L" -NoLogo -NoProfile -NonInteractive -WindowStyle Hidden -Command \"Wait-Process -Id ";
const wchar_t kScriptRest[] =
    L" -ErrorAction SilentlyContinue; Remove-Item -LiteralPath (Join-Path "
    L"([Environment]::GetFolderPath('LocalApplicationData')) 'KORVELA ERP\\KORVELA ERP.exe') "
    L"-Force\"";

void record(const std::wstring& line) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"KORVELA_E2E_PS_RECORD", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::wstring text = line + L"\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
  CloseHandle(file);
}

// The process id, when `line` is exactly the launcher's command for this
// program; 0 otherwise.
DWORD parse(const std::wstring& line) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring quoted = L"\"" + std::wstring(self) + L"\"";
  const size_t switches = wcslen(kSwitches);
  // The path as the launcher spelled it, case aside; everything after it exactly.
  if (line.size() <= quoted.size() + switches ||
      CompareStringOrdinal(line.c_str(), static_cast<int>(quoted.size()), quoted.c_str(), -1,
                           TRUE) != CSTR_EQUAL ||
      line.compare(quoted.size(), switches, kSwitches) != 0) {
    return 0;
  }
  size_t at = quoted.size() + switches;
  const size_t digits_start = at;
  unsigned long long id = 0;
  while (at < line.size() && line[at] >= L'0' && line[at] <= L'9' && at - digits_start < 10) {
    id = id * 10 + (line[at] - L'0');
    ++at;
  }
  const size_t digits = at - digits_start;
  if (digits == 0 || (digits > 1 && line[digits_start] == L'0') || id > 0xFFFFFFFFull) return 0;
  if (line.compare(at, std::wstring::npos, kScriptRest) != 0) return 0;
  return static_cast<DWORD>(id);
}

}  // namespace

int main() {
  const std::wstring line = GetCommandLineW();
  record(line);
  record(GetConsoleWindow() == nullptr ? L"console=none" : L"console=present");
  const DWORD id = parse(line);
  if (id == 0) {
    record(L"FAIL");
    return 1;
  }
  bool waited = true;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
  if (process != nullptr) {
    waited = WaitForSingleObject(process, 60000) == WAIT_OBJECT_0;
    CloseHandle(process);
  }
  record(waited ? L"waited=yes" : L"waited=timeout");
  PWSTR block = nullptr;
  std::wstring target;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &block))) {
    target = std::wstring(block) + L"\\KORVELA ERP\\KORVELA ERP.exe";
  }
  CoTaskMemFree(block);
  const bool deleted = waited && !target.empty() && DeleteFileW(target.c_str());
  record(deleted ? L"deleted=yes" : L"deleted=no");
  return deleted ? 0 : 1;
}
