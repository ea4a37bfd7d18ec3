#include "setup/install.h"

#include "app/launch.h"
#include "core/format.h"
#include "core/helpers.h"
#include "core/messages.h"
#include "setup/registration.h"
#include "setup/shortcut.h"

namespace {

// The copy of the running file carries what the file carried: the download
// mark (the Zone.Identifier stream a browser adds), which would put every
// later start from a shortcut through Windows' "run this file?" warning, and
// the read-only attribute, which would keep a later install from replacing
// install_exe. Both are shed from the temporary copy before it is put in
// place. The read-only bit goes first: Windows refuses to delete a stream of
// a read-only file. Neither step can stop the install, so no result is
// examined.
void shed_inherited_traits(const wchar_t* temporary) {
  const DWORD attributes = win::GetFileAttributesW(temporary);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    const DWORD kept = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    // No attribute at all is spelled FILE_ATTRIBUTE_NORMAL.
    win::SetFileAttributesW(temporary, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
  }
  wchar_t mark[PATH_CAPACITY];
  if (format_text(mark, L"%ls:Zone.Identifier", temporary)) {
    win::DeleteFileW(mark);
  }
}

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
  shed_inherited_traits(temporary);
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
