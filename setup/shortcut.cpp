#include "setup/shortcut.h"

#include "core/format.h"
#include "core/helpers.h"

namespace {
const wchar_t kDescription[] = L"打开 KORVELA ERP";
}

bool shortcut_path(REFKNOWNFOLDERID folder_id, wchar_t (&out)[PATH_CAPACITY]) {
  wchar_t folder[PATH_CAPACITY];
  if (!known_folder_path(folder_id, KF_FLAG_CREATE, folder)) {
    return false;
  }
  return join_path(out, folder, APP_LINK);
}

// Each road releases what it holds where it ends.
bool create_shortcut(REFKNOWNFOLDERID folder_id, const wchar_t* target, const wchar_t* working_dir) {
  wchar_t path[PATH_CAPACITY];
  if (!shortcut_path(folder_id, path)) {
    return false;
  }
  IShellLinkW* link = nullptr;
  if (FAILED(win::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IShellLinkW, reinterpret_cast<void**>(&link)))) {
    return false;
  }
  IPersistFile* file = nullptr;
  // A half-made link is never saved: the first failing setter ends the road.
  if (FAILED(link->SetPath(target)) || FAILED(link->SetWorkingDirectory(working_dir)) ||
      FAILED(link->SetDescription(kDescription)) || FAILED(link->SetIconLocation(target, 0))) {
    link->Release();
    return false;
  }
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    // A failing QueryInterface may still have handed back a pointer.
    if (file != nullptr) {
      file->Release();
    }
    link->Release();
    return false;
  }
  const bool saved = SUCCEEDED(file->Save(path, TRUE));
  file->Release();
  link->Release();
  return saved;
}
