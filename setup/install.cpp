#include "setup/install.h"

#include "app/launch.h"
#include "core/format.h"
#include "core/helpers.h"
#include "core/messages.h"
#include "setup/registration.h"
#include "setup/shortcut.h"

namespace {

// The copy goes over a temporary name in the install folder, so that the
// earlier install_exe is replaced only by a rename of a complete file.
bool place_copy(const AppPaths& paths) {
  if (!ensure_directory(paths.install_dir)) {
    return false;
  }
  wchar_t temporary[PATH_CAPACITY];
  if (!format_text(temporary, L"%ls\\KORVELA ERP-%lu.tmp", paths.install_dir,
                   static_cast<unsigned long>(win::GetCurrentProcessId()))) {
    return false;
  }
  // Fail-if-exists: a file of that name, whoever left it, is never overwritten.
  if (!win::CopyFileW(paths.self_path, temporary, TRUE)) {
    return false;
  }
  if (!win::MoveFileExW(temporary, paths.install_exe,
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    win::DeleteFileW(temporary);
    return false;
  }
  return true;
}

// True only when COM could be initialised and both shortcuts were saved. The
// apartment lives just around the two calls.
bool create_shortcuts(const AppPaths& paths) {
  if (FAILED(win::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    return false;
  }
  const bool desktop = create_shortcut(FOLDERID_Desktop, paths.install_exe, paths.install_dir);
  // The Start-menu shortcut is attempted whatever the Desktop one gave.
  const bool programs = create_shortcut(FOLDERID_Programs, paths.install_exe, paths.install_dir);
  win::CoUninitialize();
  return desktop && programs;
}

}  // namespace

int install_app(const AppPaths& paths) {
  if (win::MessageBoxW(nullptr, MSG_INSTALL_PROMPT, APP_NAME, MB_OKCANCEL | MB_ICONQUESTION) !=
      IDOK) {
    return 0;
  }
  if (!place_copy(paths)) {
    return show_error(MSG_INSTALL_ERROR);
  }
  const bool shortcuts = create_shortcuts(paths);
  const bool registered = register_uninstall(paths);
  if (!shortcuts || !registered) {
    win::MessageBoxW(nullptr, MSG_INSTALL_WARNING, APP_NAME, MB_ICONWARNING);
  }
  return launch_app(paths);
}
