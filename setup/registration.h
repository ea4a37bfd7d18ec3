#pragma once

#include "app/app_paths.h"
#include "platform/win.h"

// Writes one REG_SZ value: `text` with its terminator, (lstrlenW + 1) * 2
// bytes. True exactly when RegSetValueExW returned ERROR_SUCCESS.
bool set_string_value(HKEY key, const wchar_t* value_name, const wchar_t* text);

// Creates or opens HKCU\UNINSTALL_KEY and writes its eight values in order
// (DisplayName, DisplayVersion, Publisher, DisplayIcon, InstallLocation,
// UninstallString, NoModify, NoRepair), stopping at the first failed write;
// values of other names stay. Reads install_exe and install_dir. True exactly
// when all eight were written. The key is closed once before it returns.
bool register_uninstall(const AppPaths& paths);

// Deletes HKCU\UNINSTALL_KEY; the result is not examined.
void remove_uninstall_registration();
