#include "app/app_paths.h"

#include "core/format.h"
#include "core/helpers.h"

bool resolve_app_paths(AppPaths& paths) {
  if (!path_length_ok(win::GetModuleFileNameW(nullptr, paths.self_path, PATH_CAPACITY))) {
    return false;
  }
  if (!known_folder_path(FOLDERID_LocalAppData, 0, paths.local_app_data)) {
    return false;
  }
  if (!join_path(paths.install_dir, paths.local_app_data, APP_NAME)) {
    return false;
  }
  return join_path(paths.install_exe, paths.install_dir, APP_EXE);
}
