// A DLL with the name of one that Windows loads on demand: when loaded, it
// leaves a marker file at the path named by KORVELA_E2E_MARKER.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t marker[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"KORVELA_E2E_MARKER", marker, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
  }
  // Refusing to load keeps the process on the system's own DLL.
  return FALSE;
}
