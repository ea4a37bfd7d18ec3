// Finding the browser and starting the ERP window with it.
#include "app/launch.h"
#include "core/constants.h"
#include "core/messages.h"
#include "tests/fake/fake_test.h"

#include <cwchar>
#include <string>
#include <vector>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int);

namespace {

const std::wstring kInstallDir = std::wstring(fake::kLocalAppData) + L"\\KORVELA ERP";
const std::wstring kInstallExe = kInstallDir + L"\\KORVELA ERP.exe";
const std::wstring kProfile = kInstallDir + L"\\ERP Profile";
const wchar_t kBelow[] = L"\\Microsoft\\Edge\\Application\\msedge.exe";
const std::wstring kHkcuEdge = L"C:\\Users\\tester\\Edge\\msedge.exe";
const std::wstring kHklmEdge = L"C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe";
const std::wstring kAppPathDetail = std::wstring(APP_PATH_KEY) + L" value=";

AppPaths installed_paths() {
  AppPaths paths = {};
  std::wcscpy(paths.self_path, kInstallExe.c_str());
  std::wcscpy(paths.local_app_data, fake::kLocalAppData);
  std::wcscpy(paths.install_dir, kInstallDir.c_str());
  std::wcscpy(paths.install_exe, kInstallExe.c_str());
  return paths;
}

// A folder path of exactly `length` units on drive D.
std::wstring folder_of_length(size_t length) {
  return L"D:\\" + std::wstring(length - 3, L'f');
}

// ---- edge_install_path ------------------------------------------------------

using EdgeInstallPath = FakeWindowsTest;

TEST_F(EdgeInstallPath, FirstExistingCandidateWinsInOrder) {
  const std::wstring x86 = L"C:\\PF86";
  const std::wstring pf = L"C:\\PF";
  const std::wstring local = fake::kLocalAppData;
  enum Where { hkcu, hklm, env_x86, env_pf, env_local, none };
  struct Case {
    const char* name;
    std::vector<Where> present;  // candidates whose file exists
    Where winner;
  };
  const Case cases[] = {
      {"all present: HKCU", {hkcu, hklm, env_x86, env_pf, env_local}, hkcu},
      {"HKLM before the folders", {hklm, env_x86, env_pf, env_local}, hklm},
      {"ProgramFiles(x86) before ProgramFiles", {env_x86, env_pf, env_local}, env_x86},
      {"ProgramFiles before LOCALAPPDATA", {env_pf, env_local}, env_pf},
      {"LOCALAPPDATA last", {env_local}, env_local},
      {"none present", {}, none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    // Every candidate is registered or reachable; only the files differ.
    fake::set_reg_sz(HKEY_CURRENT_USER, APP_PATH_KEY, L"", kHkcuEdge);
    fake::set_reg_sz(HKEY_LOCAL_MACHINE, APP_PATH_KEY, L"", kHklmEdge);
    fake::set_env(L"ProgramFiles(x86)", x86);
    fake::set_env(L"ProgramFiles", pf);
    fake::set_env(L"LOCALAPPDATA", local);
    const std::wstring paths[] = {kHkcuEdge, kHklmEdge, x86 + kBelow, pf + kBelow,
                                  local + kBelow};
    for (Where where : c.present) {
      fake::add_file(paths[where]);
    }
    wchar_t out[PATH_CAPACITY];
    const bool found = edge_install_path(out);
    EXPECT_EQ(found, c.winner != none);
    if (found && c.winner != none) {
      EXPECT_EQ(std::wstring(out), paths[c.winner]);
    }
    expect_no_problems();
  }
}

TEST_F(EdgeInstallPath, AsksTheCandidatesInOrderAndStopsAtTheWinner) {
  fake::set_env(L"ProgramFiles(x86)", L"C:\\PF86");
  fake::set_env(L"ProgramFiles", L"C:\\PF");
  fake::set_env(L"LOCALAPPDATA", fake::kLocalAppData);
  wchar_t out[PATH_CAPACITY];
  EXPECT_FALSE(edge_install_path(out));
  std::vector<std::pair<std::string, std::wstring>> asked;
  for (const fake::Call& call : fake::calls()) {
    if (call.op == "RegGetValueW" || call.op == "GetEnvironmentVariableW") {
      asked.emplace_back(call.op, call.detail);
    }
  }
  const std::vector<std::pair<std::string, std::wstring>> expected = {
      {"RegGetValueW", L"HKCU\\" + kAppPathDetail},
      {"RegGetValueW", L"HKLM\\" + kAppPathDetail},
      {"GetEnvironmentVariableW", L"ProgramFiles(x86)"},
      {"GetEnvironmentVariableW", L"ProgramFiles"},
      {"GetEnvironmentVariableW", L"LOCALAPPDATA"},
  };
  EXPECT_EQ(asked, expected);

  // HKCU winning: HKLM and the environment are never asked.
  fake::reset();
  fake::set_reg_sz(HKEY_CURRENT_USER, APP_PATH_KEY, L"", kHkcuEdge);
  fake::set_reg_sz(HKEY_LOCAL_MACHINE, APP_PATH_KEY, L"", kHklmEdge);
  fake::add_file(kHkcuEdge);
  fake::add_file(kHklmEdge);
  ASSERT_TRUE(edge_install_path(out));
  EXPECT_EQ(std::wstring(out), kHkcuEdge);
  EXPECT_EQ(fake::find_call("RegGetValueW", L"HKLM\\" + kAppPathDetail), -1);
  EXPECT_EQ(fake::find_call("GetEnvironmentVariableW"), -1);
}

TEST_F(EdgeInstallPath, RefusesRegisteredValuesThatAreNotAPlainExistingFile) {
  const std::wstring fallback = L"C:\\PF86";
  struct Case {
    const char* name;
    void (*arrange)();
  };
  const Case cases[] = {
      {"quoted value",
       [] {
         fake::set_reg_sz(HKEY_CURRENT_USER, APP_PATH_KEY, L"", L"\"" + kHkcuEdge + L"\"");
         fake::add_file(kHkcuEdge);
       }},
      {"REG_DWORD value",
       [] {
         fake::set_reg_value(HKEY_CURRENT_USER, APP_PATH_KEY, L"", REG_DWORD, {1, 0, 0, 0});
       }},
      // Bytes that do name an existing file, under a type the query does not
      // admit: only the type filter stands between them and the launch.
      {"REG_BINARY value holding the path of an existing file",
       [] {
         fake::set_reg_value(HKEY_CURRENT_USER, APP_PATH_KEY, L"", REG_BINARY,
                             fake::sz_bytes(kHkcuEdge));
         fake::add_file(kHkcuEdge);
       }},
      {"REG_MULTI_SZ value holding the path of an existing file",
       [] {
         std::vector<BYTE> list = fake::sz_bytes(kHkcuEdge);
         list.insert(list.end(), {0, 0});
         fake::set_reg_value(HKEY_CURRENT_USER, APP_PATH_KEY, L"", REG_MULTI_SZ, list);
         fake::add_file(kHkcuEdge);
       }},
      {"value names a directory",
       [] {
         fake::set_reg_sz(HKEY_CURRENT_USER, APP_PATH_KEY, L"", kHkcuEdge);
         fake::add_dir(kHkcuEdge);
       }},
      {"value names a missing file",
       [] { fake::set_reg_sz(HKEY_CURRENT_USER, APP_PATH_KEY, L"", kHkcuEdge); }},
      {"empty value",
       [] {
         fake::set_reg_sz(HKEY_CURRENT_USER, APP_PATH_KEY, L"", L"");
       }},
      {"value under another name only",
       [] {
         fake::set_reg_sz(HKEY_CURRENT_USER, APP_PATH_KEY, L"Path", kHkcuEdge);
         fake::add_file(kHkcuEdge);
       }},
      {"value longer than the buffer",
       [] {
         // 1024 units and the terminator: 2050 bytes, more than the 2048 offered.
         const std::wstring long_path = folder_of_length(1013) + L"\\msedge.exe";
         fake::set_reg_sz(HKEY_CURRENT_USER, APP_PATH_KEY, L"", long_path);
         fake::add_file(long_path);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    c.arrange();
    fake::set_env(L"ProgramFiles(x86)", fallback);
    fake::add_file(fallback + kBelow);
    wchar_t out[PATH_CAPACITY];
    ASSERT_TRUE(edge_install_path(out));
    EXPECT_EQ(std::wstring(out), fallback + kBelow);
    EXPECT_NE(fake::find_call("RegGetValueW", L"HKLM\\" + kAppPathDetail), -1);
    expect_no_problems();
  }
}

TEST_F(EdgeInstallPath, AcceptsHiddenReadOnlyAndSystemFiles) {
  fake::set_reg_sz(HKEY_CURRENT_USER, APP_PATH_KEY, L"", kHkcuEdge);
  fake::add_file(kHkcuEdge, "",
                 FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
  wchar_t out[PATH_CAPACITY];
  ASSERT_TRUE(edge_install_path(out));
  EXPECT_EQ(std::wstring(out), kHkcuEdge);
}

// RRF_RT_REG_SZ admits an expandable string, read expanded: a registration
// written with %ProgramFiles% is taken as Windows would take it.
TEST_F(EdgeInstallPath, AnExpandableRegistrationIsReadExpanded) {
  fake::set_env(L"ProgramFiles", L"C:\\PF");
  fake::set_reg_value(HKEY_CURRENT_USER, APP_PATH_KEY, L"", REG_EXPAND_SZ,
                      fake::sz_bytes(std::wstring(L"%ProgramFiles%") + kBelow));
  fake::add_file(std::wstring(L"C:\\PF") + kBelow);
  wchar_t out[PATH_CAPACITY];
  ASSERT_TRUE(edge_install_path(out));
  EXPECT_EQ(std::wstring(out), std::wstring(L"C:\\PF") + kBelow);
  EXPECT_EQ(fake::find_call("RegGetValueW", L"HKLM\\" + kAppPathDetail), -1);
}

TEST_F(EdgeInstallPath, EachRegistryQueryIsOfferedTheWholeBuffer) {
  // The HKCU query succeeds with a short value, which overwrites its byte
  // count; the HKLM value of 1023 units needs all 2048 bytes, so it is read
  // only if the count was set again before the second query.
  const std::wstring long_path = folder_of_length(1012) + L"\\msedge.exe";
  ASSERT_EQ(long_path.size(), 1023u);
  struct Case {
    const char* name;
    bool short_hkcu_value;
  };
  const Case cases[] = {
      {"HKCU value missing", false},
      {"HKCU value read first, file missing", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    if (c.short_hkcu_value) {
      fake::set_reg_sz(HKEY_CURRENT_USER, APP_PATH_KEY, L"", L"C:\\e.exe");
    }
    fake::set_reg_sz(HKEY_LOCAL_MACHINE, APP_PATH_KEY, L"", long_path);
    fake::add_file(long_path);
    wchar_t out[PATH_CAPACITY];
    ASSERT_TRUE(edge_install_path(out));
    EXPECT_EQ(std::wstring(out), long_path);
  }
}

TEST_F(EdgeInstallPath, EnvironmentFolderLengthBoundaries) {
  // A folder of 985 units and "\Microsoft\Edge\Application\msedge.exe" (38)
  // make a candidate of 1023 units, the longest a path buffer holds.
  const std::wstring fallback = L"C:\\PF";
  struct Case {
    const char* name;
    size_t length;
    bool used;
  };
  const Case cases[] = {
      {"985 units", 985, true},
      {"986 units", 986, false},
      {"1000 units", 1000, false},
      {"1023 units", 1023, false},
      {"1024 units", 1024, false},
      {"2000 units", 2000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    const std::wstring folder = folder_of_length(c.length);
    fake::set_env(L"ProgramFiles(x86)", folder);
    fake::add_file(folder + kBelow);
    fake::set_env(L"ProgramFiles", fallback);
    fake::add_file(fallback + kBelow);
    wchar_t out[PATH_CAPACITY];
    ASSERT_TRUE(edge_install_path(out));
    EXPECT_EQ(std::wstring(out), c.used ? folder + kBelow : fallback + kBelow);
  }
}

TEST_F(EdgeInstallPath, EmptyOrMissingVariablesAreSkipped) {
  fake::set_env(L"ProgramFiles(x86)", L"");
  fake::set_env(L"LOCALAPPDATA", fake::kLocalAppData);
  fake::add_file(std::wstring(fake::kLocalAppData) + kBelow);
  // With an empty value the candidate would be the relative "\Microsoft\...".
  fake::add_file(kBelow);
  wchar_t out[PATH_CAPACITY];
  ASSERT_TRUE(edge_install_path(out));
  EXPECT_EQ(std::wstring(out), std::wstring(fake::kLocalAppData) + kBelow);
}

// ---- launch_app -------------------------------------------------------------

class LaunchApp : public FakeWindowsTest {
 protected:
  void SetUp() override {
    FakeWindowsTest::SetUp();
    fake::add_dir(kInstallDir);
  }
  void register_edge() {
    fake::set_reg_sz(HKEY_CURRENT_USER, APP_PATH_KEY, L"", kHkcuEdge);
    fake::add_file(kHkcuEdge);
  }
  void expect_one_error_box(const wchar_t* text) {
    ASSERT_EQ(fake::boxes().size(), 1u);
    const fake::Box& box = fake::boxes()[0];
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.caption, L"KORVELA ERP");
    EXPECT_EQ(box.style, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(box.owner, nullptr);
  }
};

TEST_F(LaunchApp, StartsTheBrowserInAnAppWindowWithItsOwnProfile) {
  register_edge();
  EXPECT_EQ(launch_app(installed_paths()), 0);
  EXPECT_TRUE(fake::boxes().empty());
  EXPECT_TRUE(fake::is_dir(kProfile));
  ASSERT_EQ(fake::processes().size(), 1u);
  const fake::Process& process = fake::processes()[0];
  EXPECT_EQ(process.application, kHkcuEdge);
  EXPECT_EQ(process.command_line, L"\"" + kHkcuEdge + L"\" --app=\"" + ERP_URL +
                                      L"\" --user-data-dir=\"" + kProfile + L"\" --no-first-run");
  EXPECT_EQ(process.creation_flags, 0u);
  EXPECT_EQ(process.working_dir, kInstallDir);
  EXPECT_EQ(process.inherit_handles, FALSE);
  EXPECT_TRUE(process.environment_null);
  EXPECT_TRUE(process.process_attributes_null);
  EXPECT_TRUE(process.thread_attributes_null);
  EXPECT_EQ(process.startup_cb, 104u);
  EXPECT_EQ(process.startup_flags, 0u);
  // The child is not waited for: both of its handles are closed already.
  EXPECT_NE(fake::find_call("CloseHandle", L"process"), -1);
  EXPECT_NE(fake::find_call("CloseHandle", L"thread"), -1);
}

TEST_F(LaunchApp, ExistingProfileFolderIsReused) {
  register_edge();
  fake::add_file(kProfile + L"\\Local State", "kept");
  EXPECT_EQ(launch_app(installed_paths()), 0);
  EXPECT_EQ(fake::processes().size(), 1u);
  EXPECT_TRUE(fake::boxes().empty());
  EXPECT_TRUE(fake::is_file(kProfile + L"\\Local State"));
}

TEST_F(LaunchApp, NoBrowserFoundShowsNotFoundAndTouchesNothing) {
  EXPECT_EQ(launch_app(installed_paths()), 1);
  expect_one_error_box(MSG_EDGE_NOT_FOUND);
  EXPECT_FALSE(fake::node(kProfile).has_value());
  EXPECT_TRUE(fake::processes().empty());
  EXPECT_EQ(fake::find_call("CreateDirectoryW"), -1);
}

TEST_F(LaunchApp, ProfileOrProcessFailureShowsTheLaunchError) {
  struct Case {
    const char* name;
    void (*arrange)();
    bool profile_dir_after;
  };
  const Case cases[] = {
      {"file named ERP Profile", [] { fake::add_file(kProfile, "in the way"); }, false},
      {"install folder missing", [] { fake::remove(kInstallDir); }, false},
      {"browser not startable", [] { fake::set_startable(kHkcuEdge, false); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    fake::add_dir(kInstallDir);
    register_edge();
    c.arrange();
    EXPECT_EQ(launch_app(installed_paths()), 1);
    expect_one_error_box(MSG_LAUNCH_ERROR);
    EXPECT_TRUE(fake::processes().empty());
    EXPECT_EQ(fake::is_dir(kProfile), c.profile_dir_after);
    expect_no_problems();
  }
  // The file in the way is left as it was.
  fake::reset();
  fake::add_dir(kInstallDir);
  register_edge();
  fake::add_file(kProfile, "in the way");
  launch_app(installed_paths());
  ASSERT_TRUE(fake::node(kProfile).has_value());
  EXPECT_EQ(fake::node(kProfile)->content, "in the way");
}

TEST_F(LaunchApp, LongestPathsStillMakeAWholeCommandLine) {
  // A browser path of 1023 units and a profile path of 1019 (the longest an
  // install_dir of 1007 units allows) stay well inside the 4095-unit command
  // line, so the command line is never cut.
  const std::wstring browser = folder_of_length(1012) + L"\\msedge.exe";
  const std::wstring local = L"E:\\" + std::wstring(995 - 3, L'a');
  const std::wstring install_dir = local + L"\\KORVELA ERP";
  const std::wstring profile = install_dir + L"\\ERP Profile";
  ASSERT_EQ(browser.size(), 1023u);
  ASSERT_EQ(profile.size(), 1019u);
  AppPaths paths = {};
  std::wcscpy(paths.local_app_data, local.c_str());
  std::wcscpy(paths.install_dir, install_dir.c_str());
  std::wcscpy(paths.install_exe, (install_dir + L"\\KORVELA ERP.exe").c_str());
  std::wcscpy(paths.self_path, paths.install_exe);
  fake::add_dir(install_dir);
  fake::set_reg_sz(HKEY_CURRENT_USER, APP_PATH_KEY, L"", browser);
  fake::add_file(browser);
  EXPECT_EQ(launch_app(paths), 0);
  ASSERT_EQ(fake::processes().size(), 1u);
  EXPECT_EQ(fake::processes()[0].command_line,
            L"\"" + browser + L"\" --app=\"" + ERP_URL + L"\" --user-data-dir=\"" + profile +
                L"\" --no-first-run");
  EXPECT_TRUE(fake::is_dir(profile));
}

// ---- Faults during a launch run -----------------------------------------------

// The installed copy started by its shortcut: it is running, so install_exe
// is in use.
void arrange_launch_world() {
  fake::set_module_path(kInstallExe);
  fake::set_command_line((L"\"" + kInstallExe + L"\"").c_str());
  fake::add_file(kInstallExe, "installed-image");
  fake::set_in_use(kInstallExe, true);
  fake::set_reg_sz(HKEY_CURRENT_USER, APP_PATH_KEY, L"", kHkcuEdge);
  fake::add_file(kHkcuEdge);
}

// What a run left, in the words of the oracle below: the profile folder, the
// browser, and install_exe whenever it is not the running copy any more.
std::string launch_left() {
  std::string left = fake::is_dir(kProfile) ? "profile" : "no profile";
  left += fake::processes().empty() ? ", no browser" : ", browser";
  left += fake::node(kInstallExe)->content == "installed-image" ? "" : ", install_exe replaced";
  return left;
}

using LaunchFaults = FakeWindowsTest;

// Each call of a whole run from the shortcut (entry and launch) made to fail
// alone, and what the run must end in.
TEST_F(LaunchFaults, EachFailingCallEndsAsItsOracleRowSays) {
  const std::vector<ShownBox> kNone = {};
  const std::vector<ShownBox> kPathsError = {{MSG_PATHS_ERROR, MB_ICONERROR}};
  const std::vector<ShownBox> kNotFound = {{MSG_EDGE_NOT_FOUND, MB_ICONERROR}};
  const std::vector<ShownBox> kLaunchError = {{MSG_LAUNCH_ERROR, MB_ICONERROR}};
  const std::string kNothingNew = "no profile, no browser";
  const wchar_t kJoin[] = L"%ls\\%ls";
  const char kOpen[] = "never closed with CloseHandle";
  const std::vector<OracleRow> oracle = {
      {"", L"", 1, 0, kNone, "profile, browser"},
      // The entry: no command line is an empty tail, which still launches;
      // the paths unresolved end the run before any mode.
      {"GetCommandLineW", L"", 1, 0, kNone, "profile, browser"},
      {"GetModuleFileNameW", L"", 1, 1, kPathsError, kNothingNew},
      {"SHGetKnownFolderPath", L"LocalAppData", 1, 1, kPathsError, kNothingNew},
      {"StringCchVPrintfW", kJoin, 1, 1, kPathsError, kNothingNew},
      {"StringCchVPrintfW", kJoin, 2, 1, kPathsError, kNothingNew},
      // A failing comparison counts as not installed: the install flow runs,
      // cannot replace the running install_exe and ends in its error.
      {"CompareStringOrdinal", kInstallExe, 1, 1,
       {{MSG_INSTALL_PROMPT, MB_OKCANCEL | MB_ICONQUESTION}, {MSG_INSTALL_ERROR, MB_ICONERROR}},
       kNothingNew},
      // Discovery: the registered browser lost, and no other candidate.
      {"RegGetValueW", L"HKCU\\" + kAppPathDetail, 1, 1, kNotFound, kNothingNew},
      {"GetFileAttributesW", kHkcuEdge, 1, 1, kNotFound, kNothingNew},
      // The launch: one message for every step after discovery.
      {"StringCchVPrintfW", kJoin, 3, 1, kLaunchError, kNothingNew},
      {"CreateDirectoryW", kProfile, 1, 1, kLaunchError, kNothingNew},
      {"StringCchVPrintfW", L"\"%ls\" --app=\"%ls\" --user-data-dir=\"%ls\" --no-first-run", 1, 1,
       kLaunchError, "profile, no browser"},
      {"CreateProcessW", kHkcuEdge, 1, 1, kLaunchError, "profile, no browser"},
      // Started: the closes are not examined.
      {"CloseHandle", L"thread", 1, 0, kNone, "profile, browser", kOpen},
      {"CloseHandle", L"process", 1, 0, kNone, "profile, browser", kOpen},
  };
  sweep_against(oracle, {arrange_launch_world, [] { return wWinMain(nullptr, nullptr, nullptr, 0); },
                         launch_left});
}

}  // namespace
