#include "core/helpers.h"

bool known_folder_path(REFKNOWNFOLDERID folder_id, DWORD flags, wchar_t (&out)[PATH_CAPACITY]) {
  PWSTR block = nullptr;
  const HRESULT result = win::SHGetKnownFolderPath(folder_id, flags, nullptr, &block);
  if (FAILED(result) || block == nullptr) {
    // A failing call may still hand back a block; it is ours to free either way.
    win::CoTaskMemFree(block);
    return false;
  }
  // Copied unit by unit so that a path of 1024 units or more is refused rather
  // than cut: the terminator must be among the first PATH_CAPACITY units.
  size_t i = 0;
  while (i < PATH_CAPACITY - 1 && block[i] != L'\0') {
    out[i] = block[i];
    ++i;
  }
  out[i] = L'\0';
  const bool whole = block[i] == L'\0';
  win::CoTaskMemFree(block);
  return whole;
}
