// restrict_dll_search on the road that the Windows version of the run gives,
// under Wine: run by as_windows, which names the version in
// KORVELA_WINDOWS_VERSION. One process per version, because the restriction
// lasts for the life of the process.
#include <gtest/gtest.h>

#include <string>

#include "platform/dll_search.h"
#include "platform/win.h"

namespace {

const wchar_t kUnlisted[] = L"korvela_unlisted.dll";
// A copy of it under another name, only in the current directory.
const wchar_t kInCurrentDirectory[] = L"korvela_current_dir.dll";

// The names the preload road must have loaded from the system directory: the
// DLLs that Windows' own libraries load on demand and that are most often
// planted beside downloaded installers. Kept here on its own, so that a name
// dropped from the product's list fails this test.
const wchar_t* const kPreloaded[] = {
    L"uxtheme.dll", L"dwmapi.dll",  L"version.dll", L"cryptbase.dll", L"propsys.dll",
    L"profapi.dll", L"userenv.dll", L"ntmarta.dll", L"sspicli.dll",   L"wtsapi32.dll",
};

struct VersionRun {
  const char* name;
  BYTE major;
  BYTE minor;
  win::DllSearchRoad road;
};
// Vista's road is the preload; every later version restricts the search.
// Wine's Windows 10 setting shows 6.2 to a program without a compatibility
// section, such as this one.
const VersionRun kRuns[] = {
    {"vista", 6, 0, win::DLL_SEARCH_PRELOAD},
    {"win7", 6, 1, win::DLL_SEARCH_SYSTEM_ONLY},
    {"win10", 6, 2, win::DLL_SEARCH_SYSTEM_ONLY},
};

std::wstring folder_of(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

std::wstring module_path(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  return std::wstring(path, length);
}

bool is_file(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool same_path(const std::wstring& left, const std::wstring& right) {
  return CompareStringOrdinal(left.c_str(), -1, right.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// True when `name` loads by bare name; the module is let go again.
bool loads_by_bare_name(const wchar_t* name) {
  HMODULE module = LoadLibraryW(name);
  if (module == nullptr) return false;
  FreeLibrary(module);
  return true;
}

class RestrictDllSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[16] = {};
    GetEnvironmentVariableA("KORVELA_WINDOWS_VERSION", name, sizeof(name));
    for (const VersionRun& candidate : kRuns) {
      if (std::string(candidate.name) == name) run_ = &candidate;
    }
    ASSERT_NE(run_, nullptr) << "run this program through as_windows, which names the version";
    const DWORD version = GetVersion();
    ASSERT_EQ(LOBYTE(LOWORD(version)), run_->major) << "Wine's version setting did not take";
    ASSERT_EQ(HIBYTE(LOWORD(version)), run_->minor) << "Wine's version setting did not take";

    // The unlisted DLL exists beside this program only; its copy exists only
    // in a fresh current directory.
    program_folder_ = folder_of(module_path(nullptr));
    ASSERT_TRUE(is_file(program_folder_ + L"\\" + kUnlisted));
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    current_dir_ =
        std::wstring(temp) + L"korvela-dll-search-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(current_dir_.c_str(), nullptr));
    copy_ = current_dir_ + L"\\" + kInCurrentDirectory;
    ASSERT_TRUE(CopyFileW((program_folder_ + L"\\" + kUnlisted).c_str(), copy_.c_str(), FALSE));
    ASSERT_TRUE(SetCurrentDirectoryW(current_dir_.c_str()));
    wchar_t system_dir[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(system_dir, MAX_PATH), 0u);
    system_dir_ = system_dir;
  }
  void TearDown() override {
    SetCurrentDirectoryW(program_folder_.c_str());
    if (!copy_.empty()) DeleteFileW(copy_.c_str());
    if (!current_dir_.empty()) RemoveDirectoryW(current_dir_.c_str());
  }
  const VersionRun* run_ = nullptr;
  std::wstring program_folder_, current_dir_, copy_, system_dir_;
};

TEST_F(RestrictDllSearch, TakesTheRoadOfThisWindowsVersionAndKeepsPlantedDllsOut) {
  SCOPED_TRACE(std::string("Windows version ") + run_->name);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  ASSERT_NE(kernel, nullptr);
  // Wine 8 exports it whatever the version setting says.
  ASSERT_NE(GetProcAddress(kernel, "SetDefaultDllDirectories"), nullptr);
  EXPECT_EQ(win::dll_search_road(true, GetVersion()), run_->road);

  // Before: both load by bare name, so the checks after can fail; and none of
  // the listed names is loaded yet, so only the preload can have loaded them.
  ASSERT_TRUE(loads_by_bare_name(kUnlisted)) << "the DLL beside the program should load";
  ASSERT_TRUE(loads_by_bare_name(kInCurrentDirectory))
      << "the DLL in the current directory should load";
  for (const wchar_t* name : kPreloaded) {
    ASSERT_EQ(GetModuleHandleW(name), nullptr) << "already loaded before the restriction: " << name;
  }

  win::restrict_dll_search();

  if (run_->road == win::DLL_SEARCH_SYSTEM_ONLY) {
    // The search itself is restricted: not only the listed names are safe.
    EXPECT_FALSE(loads_by_bare_name(kUnlisted))
        << "a DLL beside the program, under a name on no list, still loads by bare name";
    EXPECT_FALSE(loads_by_bare_name(kInCurrentDirectory))
        << "a DLL in the current directory still loads by bare name";
  } else {
    // Vista: each listed name is in the process already, from the system
    // directory, so a later load by bare name finds it there. A name that
    // the system directory lacks cannot be preloaded: Wine 8 ships no
    // cryptbase.dll, profapi.dll or ntmarta.dll (Windows has all three).
    // The road also takes the current directory out of the search with
    // SetDllDirectoryW(L""); Wine 8 keeps searching it after that call, where
    // Windows does not, so that part cannot be shown here.
    for (const wchar_t* name : kPreloaded) {
      SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
      const std::wstring system_copy = system_dir_ + L"\\" + name;
      HMODULE module = GetModuleHandleW(name);
      if (!is_file(system_copy)) {
        EXPECT_EQ(module, nullptr);
        continue;
      }
      ASSERT_NE(module, nullptr) << "not preloaded";
      EXPECT_TRUE(same_path(module_path(module), system_copy))
          << "loaded from " << testing::PrintToString(module_path(module));
    }
  }
}

}  // namespace
