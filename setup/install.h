#pragma once

#include "app/app_paths.h"

// Installs the running executable for the current user, then opens the
// application from this same process. Returns the exit code: 0 when the user
// declines, 1 after the install error, otherwise the result of launch_app.
int install_app(const AppPaths& paths);
