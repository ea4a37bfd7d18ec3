// A plain executable that shows one message box: the control that proves the
// planted-DLL test can fail.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  MessageBoxW(nullptr, L"plain", L"plain", MB_OK);
  return 0;
}
