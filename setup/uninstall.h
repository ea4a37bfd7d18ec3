#pragma once

#include "app/app_paths.h"

// Removes the shortcuts and the uninstall registration and has a hidden
// PowerShell delete install_exe once this process has ended. Returns the exit
// code: 0 when declined or done, 1 after the uninstall error.
int uninstall_app(const AppPaths& paths);
