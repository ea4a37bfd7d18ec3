// Stands in for msedge.exe in the end-to-end tests: records its whole command
// line and working directory, one per line, into the file named by
// KORVELA_E2E_RECORD (UTF-16), and exits.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t record[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"KORVELA_E2E_RECORD", record, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return 2;
  }
  wchar_t directory[MAX_PATH * 4];
  GetCurrentDirectoryW(MAX_PATH * 4, directory);
  HANDLE file = CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return 3;
  }
  const wchar_t* parts[] = {GetCommandLineW(), L"\n", directory, L"\n"};
  for (const wchar_t* part : parts) {
    DWORD written = 0;
    WriteFile(file, part, static_cast<DWORD>(lstrlenW(part) * sizeof(wchar_t)), &written, nullptr);
  }
  CloseHandle(file);
  return 0;
}
