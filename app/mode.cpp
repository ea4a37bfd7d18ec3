#include "app/mode.h"

#include "platform/win.h"

Mode choose_mode(const AppPaths& paths, const wchar_t* tail) {
  if (win::CompareStringOrdinal(paths.self_path, -1, paths.install_exe, -1, TRUE) != CSTR_EQUAL) {
    return MODE_INSTALL;
  }
  if (win::wcscmp(tail, L"--uninstall") == 0) {
    return MODE_UNINSTALL;
  }
  return MODE_LAUNCH;
}
