// Which way restrict_dll_search keeps planted DLLs out: from the export of
// SetDefaultDllDirectories and the Windows version. The loader calls of each
// road are proven under Wine (tests/e2e/dll_search_roads_test.cpp).
#include <gtest/gtest.h>

#include <ostream>

#include "platform/dll_search.h"

namespace win {
// Failures name the road.
void PrintTo(DllSearchRoad road, std::ostream* out) {
  *out << (road == DLL_SEARCH_SYSTEM_ONLY ? "DLL_SEARCH_SYSTEM_ONLY"
           : road == DLL_SEARCH_PRELOAD   ? "DLL_SEARCH_PRELOAD"
                                          : "unknown road");
}
}  // namespace win

namespace {

// GetVersion's result: major version, minor version, build number.
DWORD windows_version(BYTE major, BYTE minor, WORD build) {
  return MAKELONG(MAKEWORD(major, minor), build);
}

TEST(DllSearchRoad, OnlyWindowsWithTheExportAndAfterVistaRestrictTheSearch) {
  struct Case {
    const char* name;
    bool has_export;
    DWORD version;
    win::DllSearchRoad road;
  };
  const Case cases[] = {
      {"Vista with the export (update installed)", true, windows_version(6, 0, 6002),
       win::DLL_SEARCH_PRELOAD},
      {"Windows 7 with the export", true, windows_version(6, 1, 7601), win::DLL_SEARCH_SYSTEM_ONLY},
      {"Windows 8 and later without a compatibility section (6.2)", true,
       windows_version(6, 2, 9200), win::DLL_SEARCH_SYSTEM_ONLY},
      {"Windows 10 as a program that declares it sees it", true, windows_version(10, 0, 19045),
       win::DLL_SEARCH_SYSTEM_ONLY},
      {"Vista without the export", false, windows_version(6, 0, 6002), win::DLL_SEARCH_PRELOAD},
      {"Windows 7 without the update", false, windows_version(6, 1, 7601), win::DLL_SEARCH_PRELOAD},
      {"6.2 without the export", false, windows_version(6, 2, 9200), win::DLL_SEARCH_PRELOAD},
      {"10.0 without the export", false, windows_version(10, 0, 19045), win::DLL_SEARCH_PRELOAD},
      // Only major and minor count: a build number that looks like 6.0 in
      // its bytes changes nothing.
      {"Windows 7 whose build number's bytes are 6 and 0", true, windows_version(6, 1, 0x0006),
       win::DLL_SEARCH_SYSTEM_ONLY},
      {"Vista with a build number of 0", true, windows_version(6, 0, 0), win::DLL_SEARCH_PRELOAD},
      // Minor 0 alone is not Vista.
      {"10.0 is not 6.0", true, windows_version(10, 0, 0), win::DLL_SEARCH_SYSTEM_ONLY},
      {"minor 6, major 0, is not 6.0", true, windows_version(0, 6, 0), win::DLL_SEARCH_SYSTEM_ONLY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(win::dll_search_road(c.has_export, c.version), c.road);
  }
}

}  // namespace
