// The entry point of every run: one pass from the command line to the exit code.
#include "app/app_paths.h"
#include "app/command_tail.h"
#include "app/launch.h"
#include "app/mode.h"
#include "core/helpers.h"
#include "core/messages.h"
#include "setup/install.h"
#include "setup/uninstall.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything can load a DLL on demand: the setup file runs from the
  // user's Downloads folder, where anyone may have left a DLL.
  win::restrict_dll_search();

  // The tail is derived here from the process's own command line rather than
  // taken from the argument, so that the one rule of command_tail decides it
  // whoever calls this function, the product's start-up or a test.
  const wchar_t* tail = command_tail(win::GetCommandLineW());

  AppPaths paths;
  if (!resolve_app_paths(paths)) {
    return show_error(MSG_PATHS_ERROR);
  }
  switch (choose_mode(paths, tail)) {
    case MODE_UNINSTALL:
      return uninstall_app(paths);
    case MODE_LAUNCH:
      return launch_app(paths);
    case MODE_INSTALL:
      break;
  }
  return install_app(paths);
}
