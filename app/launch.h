#pragma once

#include "app/app_paths.h"

// Finds msedge.exe: the App Paths registration under HKCU, then HKLM, then
// "Microsoft\Edge\Application\msedge.exe" under %ProgramFiles(x86)%,
// %ProgramFiles% and %LOCALAPPDATA%. The first candidate that names an
// existing non-directory wins. True: `out` (PATH_CAPACITY units) holds its
// path. False: no candidate passed and `out` is not to be used. Reads only.
bool edge_install_path(wchar_t (&out)[PATH_CAPACITY]);

// Opens ERP_URL in an Edge app window with the profile folder
// install_dir\PROFILE_DIR_NAME, working directory install_dir, and returns
// without waiting: 0 once the browser was started, 1 after an error box.
int launch_app(const AppPaths& paths);
