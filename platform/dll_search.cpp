// Keeps DLLs planted beside the executable out of the process.
#include "platform/dll_search.h"
#include "platform/win.h"

namespace {

// DLLs that Windows' own libraries load on demand and that are commonly
// planted next to downloaded installers.
const wchar_t* const kOnDemandDlls[] = {
    L"uxtheme.dll", L"dwmapi.dll",  L"version.dll", L"cryptbase.dll", L"propsys.dll",
    L"profapi.dll", L"userenv.dll", L"ntmarta.dll", L"sspicli.dll",   L"wtsapi32.dll",
};

// Loads each of kOnDemandDlls from the system directory by full path, so that
// a later load by bare name finds the module already in the process.
void preload_from_system_directory() {
  wchar_t path[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
  // Room for a backslash, the longest name and the terminator.
  if (length == 0 || length > MAX_PATH - 16) {
    return;
  }
  for (const wchar_t* name : kOnDemandDlls) {
    size_t end = length;
    path[end++] = L'\\';
    for (const wchar_t* c = name; *c != L'\0'; ++c) {
      path[end++] = *c;
    }
    path[end] = L'\0';
    // Modules stay loaded for the life of the process on purpose.
    ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    path[length] = L'\0';
  }
}

}  // namespace

namespace win {

void restrict_dll_search() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  // Looked up at run time: the export exists only from Windows 7 (or Vista
  // with a later update), and a missing import would keep the program from
  // starting at all.
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  SetDefaultDllDirectoriesFn set_default_dll_directories =
      kernel == nullptr ? nullptr
                        : reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
                              ::GetProcAddress(kernel, "SetDefaultDllDirectories")));
  // The search is restricted only where the road allows it; when the call
  // itself fails, the preload road is the fallback.
  if (dll_search_road(set_default_dll_directories != nullptr, ::GetVersion()) ==
          DLL_SEARCH_SYSTEM_ONLY &&
      set_default_dll_directories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    return;
  }
  ::SetDllDirectoryW(L"");
  preload_from_system_directory();
}

}  // namespace win
