#include "core/helpers.h"

bool ensure_directory(const wchar_t* path) {
  if (win::CreateDirectoryW(path, nullptr)) {
    return true;
  }
  // Why the creation failed does not matter: an existing directory is success,
  // a missing parent or a file of that name is not.
  const DWORD attributes = win::GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return false;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool file_exists(const wchar_t* path) {
  // INVALID_FILE_ATTRIBUTES has every bit set, the directory bit too, so a
  // missing path fails the same single test as a directory.
  return (win::GetFileAttributesW(path) & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
