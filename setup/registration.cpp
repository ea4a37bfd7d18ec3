#include "setup/registration.h"

#include "core/format.h"

bool set_string_value(HKEY key, const wchar_t* value_name, const wchar_t* text) {
  const DWORD bytes = static_cast<DWORD>((win::lstrlenW(text) + 1) * sizeof(wchar_t));
  return win::RegSetValueExW(key, value_name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             bytes) == ERROR_SUCCESS;
}

namespace {

bool set_dword_one(HKEY key, const wchar_t* value_name) {
  const DWORD one = 1;
  return win::RegSetValueExW(key, value_name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                             sizeof(one)) == ERROR_SUCCESS;
}

}  // namespace

bool register_uninstall(const AppPaths& paths) {
  // Composed before the key is opened, so that a command that does not fit
  // leaves the registry untouched.
  wchar_t uninstall_command[COMMAND_CAPACITY];
  if (!format_text(uninstall_command, L"\"%ls\" --uninstall", paths.install_exe)) {
    return false;
  }
  HKEY key = nullptr;
  if (win::RegCreateKeyExW(HKEY_CURRENT_USER, UNINSTALL_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const bool written = set_string_value(key, L"DisplayName", APP_NAME) &&
                       set_string_value(key, L"DisplayVersion", APP_VERSION) &&
                       set_string_value(key, L"Publisher", APP_PUBLISHER) &&
                       set_string_value(key, L"DisplayIcon", paths.install_exe) &&
                       set_string_value(key, L"InstallLocation", paths.install_dir) &&
                       set_string_value(key, L"UninstallString", uninstall_command) &&
                       set_dword_one(key, L"NoModify") && set_dword_one(key, L"NoRepair");
  win::RegCloseKey(key);
  return written;
}

void remove_uninstall_registration() { win::RegDeleteKeyW(HKEY_CURRENT_USER, UNINSTALL_KEY); }
