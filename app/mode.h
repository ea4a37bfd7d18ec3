#pragma once

#include "app/app_paths.h"

enum Mode { MODE_INSTALL, MODE_UNINSTALL, MODE_LAUNCH };

// Install unless the executable runs as install_exe (ordinal comparison, case
// ignored; a failing comparison counts as not installed). Installed: uninstall
// exactly when the whole tail is "--uninstall" (case significant), else launch.
Mode choose_mode(const AppPaths& paths, const wchar_t* tail);
