// The choice between the two ways restrict_dll_search keeps planted DLLs out,
// apart from the loader calls so that it can be checked case by case.
#pragma once

#include <windows.h>

namespace win {

enum DllSearchRoad {
  // SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32): every later load
  // by bare name searches the system directory only.
  DLL_SEARCH_SYSTEM_ONLY,
  // The current directory taken out of the search, and the DLLs most often
  // planted loaded from the system directory in advance. A load of any other
  // name by bare name still searches the executable's own folder.
  DLL_SEARCH_PRELOAD,
};

// The road for a process whose kernel32 exports SetDefaultDllDirectories or
// not, on the Windows version `version` (GetVersion's result: major version in
// the low byte, minor in the next; the build number in the high word is
// ignored). Windows 6.0 (Vista) takes the preload road even with the export
// present: there, creating the Shell Link object is reported to fail once the
// search is restricted. Pure: reads and changes nothing.
inline DllSearchRoad dll_search_road(bool has_set_default_dll_directories, DWORD version) {
  const bool vista = LOBYTE(LOWORD(version)) == 6 && HIBYTE(LOWORD(version)) == 0;
  return has_set_default_dll_directories && !vista ? DLL_SEARCH_SYSTEM_ONLY : DLL_SEARCH_PRELOAD;
}

}  // namespace win
