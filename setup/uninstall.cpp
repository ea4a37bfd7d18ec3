#include "setup/uninstall.h"

#include "core/format.h"
#include "core/helpers.h"
#include "core/messages.h"
#include "setup/registration.h"
#include "setup/shortcut.h"

namespace {

const wchar_t kPowerShellBelowSystem[] = L"WindowsPowerShell\\v1.0\\powershell.exe";

// Waits for this process to end, then deletes the installed executable. The
// file is named by the script itself under Local Application Data, so only
// the PowerShell path and the process id are handed over.
const wchar_t kPowerShellCommand[] =
    L"\"%ls\" -NoLogo -NoProfile -NonInteractive -WindowStyle Hidden -Command \"Wait-Process -Id "
    L"%lu -ErrorAction SilentlyContinue; Remove-Item -LiteralPath (Join-Path "
    L"([Environment]::GetFolderPath('LocalApplicationData')) 'KORVELA ERP\\KORVELA ERP.exe') "
    L"-Force\"";

void delete_shortcut(REFKNOWNFOLDERID folder_id) {
  wchar_t path[PATH_CAPACITY];
  if (shortcut_path(folder_id, path)) {
    win::DeleteFileW(path);
  }
}

}  // namespace

int uninstall_app(const AppPaths& paths) {
  if (win::MessageBoxW(nullptr, MSG_UNINSTALL_PROMPT, APP_NAME,
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
    return 0;
  }
  wchar_t system_dir[PATH_CAPACITY];
  if (!path_length_ok(win::GetSystemDirectoryW(system_dir, PATH_CAPACITY))) {
    return show_error(MSG_UNINSTALL_ERROR);
  }
  wchar_t powershell[PATH_CAPACITY];
  if (!join_path(powershell, system_dir, kPowerShellBelowSystem)) {
    return show_error(MSG_UNINSTALL_ERROR);
  }
  const DWORD process_id = win::GetCurrentProcessId();
  wchar_t command_line[COMMAND_CAPACITY];
  if (!format_text(command_line, kPowerShellCommand, powershell,
                   static_cast<unsigned long>(process_id))) {
    return show_error(MSG_UNINSTALL_ERROR);
  }
  // The deferred delete starts before any trace is removed: a launcher that
  // cannot start it leaves the install as it was.
  if (!start_process(powershell, command_line, CREATE_NO_WINDOW, paths.install_dir)) {
    return show_error(MSG_UNINSTALL_ERROR);
  }
  delete_shortcut(FOLDERID_Desktop);
  delete_shortcut(FOLDERID_Programs);
  remove_uninstall_registration();
  return 0;
}
