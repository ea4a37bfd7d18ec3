// The entry's own steps: which mode a run takes, how the four paths are
// resolved, and what wWinMain does before and instead of a mode.
#include "app/app_paths.h"
#include "app/mode.h"
#include "core/constants.h"
#include "core/messages.h"
#include "tests/fake/fake_test.h"

#include <cwchar>
#include <cwctype>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int);

namespace {

const std::wstring kInstallDir = std::wstring(fake::kLocalAppData) + L"\\KORVELA ERP";
const std::wstring kInstallExe = kInstallDir + L"\\KORVELA ERP.exe";

AppPaths paths_for(const std::wstring& self_path) {
  AppPaths paths = {};
  std::wcscpy(paths.self_path, self_path.c_str());
  std::wcscpy(paths.local_app_data, fake::kLocalAppData);
  std::wcscpy(paths.install_dir, kInstallDir.c_str());
  std::wcscpy(paths.install_exe, kInstallExe.c_str());
  return paths;
}

// A path of exactly `length` units on drive C.
std::wstring path_of_length(size_t length) {
  return L"C:\\" + std::wstring(length - 3, L'l');
}

using ChooseMode = FakeWindowsTest;

TEST_F(ChooseMode, InstalledCopyUninstallsOnlyForExactlyTheUninstallTail) {
  std::wstring upper_exe = kInstallExe;
  for (wchar_t& unit : upper_exe) {
    unit = static_cast<wchar_t>(std::towupper(unit));
  }
  struct Case {
    const char* name;
    std::wstring self_path;
    const wchar_t* tail;
    Mode mode;
  };
  const Case cases[] = {
      {"installed, uninstall", kInstallExe, L"--uninstall", MODE_UNINSTALL},
      {"installed in other case, uninstall", upper_exe, L"--uninstall", MODE_UNINSTALL},
      {"installed, no tail", kInstallExe, L"", MODE_LAUNCH},
      {"installed, capitals", kInstallExe, L"--Uninstall", MODE_LAUNCH},
      {"installed, trailing blank", kInstallExe, L"--uninstall ", MODE_LAUNCH},
      {"installed, quoted", kInstallExe, L"\"--uninstall\"", MODE_LAUNCH},
      {"installed, another argument follows", kInstallExe, L"--uninstall x", MODE_LAUNCH},
      {"installed, other argument", kInstallExe, L"--launch", MODE_LAUNCH},
      {"setup file, no tail", fake::kSetupPath, L"", MODE_INSTALL},
      {"setup file, uninstall", fake::kSetupPath, L"--uninstall", MODE_INSTALL},
      {"install exe with a suffix", kInstallExe + L"x", L"--uninstall", MODE_INSTALL},
      {"install dir only", kInstallDir, L"--uninstall", MODE_INSTALL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    const AppPaths paths = paths_for(c.self_path);
    EXPECT_EQ(choose_mode(paths, c.tail), c.mode);
    EXPECT_EQ(fake::find_call("CompareStringOrdinal", c.self_path), 0);
    EXPECT_TRUE(fake::problems().empty());
  }
}

TEST_F(ChooseMode, FailingComparisonCountsAsNotInstalled) {
  for (const wchar_t* tail : {L"", L"--uninstall"}) {
    SCOPED_TRACE(narrow(tail));
    fake::reset();
    fake::fail_usual("CompareStringOrdinal");
    const AppPaths paths = paths_for(kInstallExe);
    EXPECT_EQ(choose_mode(paths, tail), MODE_INSTALL);
  }
}

using ResolveAppPaths = FakeWindowsTest;

TEST_F(ResolveAppPaths, FillsTheFourPathsFromTheModuleAndLocalAppData) {
  AppPaths paths;
  ASSERT_TRUE(resolve_app_paths(paths));
  EXPECT_EQ(std::wstring(paths.self_path), fake::kSetupPath);
  EXPECT_EQ(std::wstring(paths.local_app_data), fake::kLocalAppData);
  EXPECT_EQ(std::wstring(paths.install_dir), kInstallDir);
  EXPECT_EQ(std::wstring(paths.install_exe), kInstallExe);
  EXPECT_EQ(fake::find_call("SHGetKnownFolderPath", L"LocalAppData"), 1);
  // Resolving only reads: nothing was created.
  EXPECT_FALSE(fake::is_dir(kInstallDir));
}

TEST_F(ResolveAppPaths, LengthBoundaries) {
  struct Case {
    const char* name;
    size_t module_length;
    size_t local_app_data_length;
    bool resolves;
  };
  const Case cases[] = {
      // GetModuleFileNameW reports a cut path as the buffer size: with the whole
      // 1024-unit buffer offered, 1023 units fit and 1024 are recognised as cut.
      {"module path 1023 units", 1023, 30, true},
      {"module path 1024 units", 1024, 30, false},
      {"module path 3000 units", 3000, 30, false},
      // 995 + "\KORVELA ERP" (12) + "\KORVELA ERP.exe" (16) is 1023 units.
      {"LocalAppData 995 units", 40, 995, true},
      {"LocalAppData 996 units", 40, 996, false},
      {"LocalAppData 1023 units", 40, 1023, false},
      {"LocalAppData 1024 units", 40, 1024, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    const std::wstring module = path_of_length(c.module_length);
    const std::wstring local = path_of_length(c.local_app_data_length);
    fake::set_module_path(module);
    fake::set_known_folder(FOLDERID_LocalAppData, local);
    AppPaths paths;
    EXPECT_EQ(resolve_app_paths(paths), c.resolves);
    if (c.resolves) {
      EXPECT_EQ(std::wstring(paths.self_path), module);
      EXPECT_EQ(std::wstring(paths.install_exe),
                local + L"\\KORVELA ERP\\KORVELA ERP.exe");
    }
    EXPECT_TRUE(fake::problems().empty()) << testing::PrintToString(fake::problems());
  }
}

TEST_F(ResolveAppPaths, FailingStepsFail) {
  struct Case {
    const char* name;
    const char* op;
  };
  const Case cases[] = {
      {"module path", "GetModuleFileNameW"},
      {"known folder", "SHGetKnownFolderPath"},
      {"composing", "StringCchVPrintfW"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    fake::fail_usual(c.op);
    AppPaths paths;
    EXPECT_FALSE(resolve_app_paths(paths));
    EXPECT_TRUE(fake::problems().empty()) << testing::PrintToString(fake::problems());
  }
  fake::reset();
  fake::remove_known_folder(FOLDERID_LocalAppData);
  AppPaths paths;
  EXPECT_FALSE(resolve_app_paths(paths));
}

using Entry = FakeWindowsTest;

TEST_F(Entry, RestrictsTheDllSearchBeforeAnythingElse) {
  struct Case {
    const char* name;
    std::wstring module;
    const wchar_t* line;
  };
  const std::wstring quoted_exe = L"\"" + kInstallExe + L"\"";
  const Case cases[] = {
      {"setup file", fake::kSetupPath, nullptr},
      {"launch", kInstallExe, quoted_exe.c_str()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    fake::set_module_path(c.module);
    if (c.line != nullptr) {
      fake::set_command_line(c.line);
    }
    wWinMain(nullptr, nullptr, nullptr, 0);
    ASSERT_FALSE(fake::calls().empty());
    EXPECT_EQ(fake::calls()[0].op, "restrict_dll_search");
    EXPECT_EQ(fake::find_call("restrict_dll_search"), 0);
  }
}

TEST_F(Entry, UnresolvablePathsShowTheOneErrorBoxAndRunNoMode) {
  struct Case {
    const char* name;
    void (*arrange)();
  };
  const Case cases[] = {
      {"module path fails", [] { fake::fail_usual("GetModuleFileNameW"); }},
      {"module path too long", [] { fake::set_module_path(path_of_length(1024)); }},
      {"LocalAppData fails", [] { fake::fail_usual("SHGetKnownFolderPath"); }},
      {"LocalAppData missing", [] { fake::remove_known_folder(FOLDERID_LocalAppData); }},
      {"LocalAppData too long",
       [] { fake::set_known_folder(FOLDERID_LocalAppData, path_of_length(996)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    // Were a mode to run, this world would launch the browser.
    fake::set_command_line((L"\"" + kInstallExe + L"\"").c_str());
    fake::add_dir(kInstallDir);
    fake::add_file(L"C:\\Edge\\msedge.exe");
    fake::set_reg_sz(HKEY_CURRENT_USER, APP_PATH_KEY, L"", L"C:\\Edge\\msedge.exe");
    c.arrange();
    EXPECT_EQ(wWinMain(nullptr, nullptr, nullptr, 0), 1);
    ASSERT_EQ(fake::boxes().size(), 1u);
    const fake::Box& box = fake::boxes()[0];
    EXPECT_EQ(box.text, MSG_PATHS_ERROR);
    EXPECT_EQ(box.caption, L"KORVELA ERP");
    EXPECT_EQ(box.style, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_TRUE(fake::processes().empty());
    EXPECT_EQ(fake::find_call("CompareStringOrdinal"), -1);
    EXPECT_EQ(fake::find_call("RegGetValueW"), -1);
    EXPECT_TRUE(fake::problems().empty()) << testing::PrintToString(fake::problems());
  }
}

TEST_F(Entry, ModeFollowsTheModuleAndTheProcessCommandLine) {
  const std::wstring quoted_exe = L"\"" + kInstallExe + L"\"";
  struct Case {
    const char* name;
    std::wstring module;
    std::wstring line;
    bool launches;
    const wchar_t* box;  // the one box shown, answered with Cancel; null for none
  };
  const Case cases[] = {
      {"installed, no tail", kInstallExe, quoted_exe, true, nullptr},
      {"installed, blank after the name", kInstallExe, quoted_exe + L"  ", true, nullptr},
      {"installed, uninstall", kInstallExe, quoted_exe + L" --uninstall", false,
       MSG_UNINSTALL_PROMPT},
      {"installed, uninstall after a tab", kInstallExe, quoted_exe + L"\t--uninstall", false,
       MSG_UNINSTALL_PROMPT},
      {"installed, capitals", kInstallExe, quoted_exe + L" --Uninstall", true, nullptr},
      {"installed, uninstall and a trailing blank", kInstallExe, quoted_exe + L" --uninstall ",
       true, nullptr},
      // Anywhere but the install location the tail is not looked at: install.
      {"setup file, uninstall", fake::kSetupPath,
       L"\"" + std::wstring(fake::kSetupPath) + L"\" --uninstall", false, MSG_INSTALL_PROMPT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    fake::set_module_path(c.module);
    fake::set_command_line(c.line.c_str());
    fake::add_dir(kInstallDir);
    fake::add_file(L"C:\\Edge\\msedge.exe");
    fake::set_reg_sz(HKEY_CURRENT_USER, APP_PATH_KEY, L"", L"C:\\Edge\\msedge.exe");
    fake::answer_boxes({IDCANCEL});
    EXPECT_EQ(wWinMain(nullptr, nullptr, nullptr, 0), 0);
    EXPECT_EQ(fake::processes().size(), c.launches ? 1u : 0u);
    EXPECT_EQ(fake::find_call("RegGetValueW") != -1, c.launches);
    if (c.box == nullptr) {
      EXPECT_TRUE(fake::boxes().empty());
    } else {
      ASSERT_EQ(fake::boxes().size(), 1u);
      EXPECT_EQ(fake::boxes()[0].text, c.box);
    }
    EXPECT_TRUE(fake::problems().empty()) << testing::PrintToString(fake::problems());
  }
}

TEST_F(Entry, MissingCommandLineLaunchesTheInstalledCopy) {
  fake::set_module_path(kInstallExe);
  fake::set_command_line(nullptr);
  fake::add_dir(kInstallDir);
  fake::add_file(L"C:\\Edge\\msedge.exe");
  fake::set_reg_sz(HKEY_CURRENT_USER, APP_PATH_KEY, L"", L"C:\\Edge\\msedge.exe");
  EXPECT_EQ(wWinMain(nullptr, nullptr, nullptr, 0), 0);
  EXPECT_EQ(fake::processes().size(), 1u);
}

}  // namespace
