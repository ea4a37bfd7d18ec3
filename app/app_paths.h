#pragma once

#include "core/constants.h"

// The four paths of a run, resolved once by the entry and read-only afterwards.
// Each holds at most 1023 UTF-16 units and its terminator.
struct AppPaths {
  wchar_t self_path[PATH_CAPACITY];       // the running executable, as Windows reports it
  wchar_t local_app_data[PATH_CAPACITY];  // the user's Local AppData folder
  wchar_t install_dir[PATH_CAPACITY];     // local_app_data \ APP_NAME
  wchar_t install_exe[PATH_CAPACITY];     // install_dir \ APP_EXE
};

// Fills `paths` in field order, stopping at the first step that fails. Only
// reads: nothing is created. After false the fields are not to be used.
bool resolve_app_paths(AppPaths& paths);
