// The install flow against the fake Windows: what it writes, in which order,
// what each failure leaves, and that an interrupted install is repaired by
// running the installer again.
#include "tests/fake/fake_test.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/app_paths.h"
#include "core/constants.h"
#include "core/messages.h"
#include "setup/install.h"

namespace {

const std::wstring kInstallDir = std::wstring(fake::kLocalAppData) + L"\\KORVELA ERP";
const std::wstring kInstallExe = kInstallDir + L"\\KORVELA ERP.exe";
const std::wstring kTemporary = kInstallDir + L"\\KORVELA ERP-4242.tmp";
const std::wstring kDesktopLink = std::wstring(fake::kDesktop) + L"\\KORVELA ERP.lnk";
const std::wstring kProgramsLink = std::wstring(fake::kPrograms) + L"\\KORVELA ERP.lnk";
const wchar_t kEdge[] = L"C:\\Edge\\msedge.exe";

const std::vector<std::wstring> kValueNames = {
    L"DisplayName", L"DisplayVersion", L"Publisher", L"DisplayIcon",
    L"InstallLocation", L"UninstallString", L"NoModify", L"NoRepair"};

class Install : public FakeWindowsTest {
 protected:
  void SetUp() override {
    FakeWindowsTest::SetUp();
    with_browser();
  }
  static void with_browser() {
    fake::add_file(kEdge);
    fake::set_reg_sz(HKEY_CURRENT_USER, APP_PATH_KEY, L"", kEdge);
  }
  // A Local AppData folder of 995 units: install_exe just fits (1023 units),
  // the temporary name beside it (1028 units) does not. Returns the folder.
  static std::wstring with_long_local_app_data() {
    const std::wstring folder = L"C:\\" + std::wstring(992, L'l');
    fake::add_dir(folder);
    fake::set_known_folder(FOLDERID_LocalAppData, folder);
    return folder;
  }
  static int run() {
    AppPaths paths;
    EXPECT_TRUE(resolve_app_paths(paths));
    return install_app(paths);
  }
  static std::vector<std::wstring> box_texts() {
    std::vector<std::wstring> texts;
    for (const fake::Box& box : fake::boxes()) texts.push_back(box.text);
    return texts;
  }
  // Everything a complete install leaves, checked together.
  static void expect_complete_install() {
    const auto exe = fake::node(kInstallExe);
    ASSERT_TRUE(exe.has_value());
    EXPECT_EQ(exe->content, "setup-image");
    EXPECT_TRUE(fake::is_file(kDesktopLink));
    EXPECT_TRUE(fake::is_file(kProgramsLink));
    std::vector<std::wstring> names = fake::reg_value_names(HKEY_CURRENT_USER, UNINSTALL_KEY);
    std::vector<std::wstring> expected = kValueNames;
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    const auto command = fake::reg_value(HKEY_CURRENT_USER, UNINSTALL_KEY, L"UninstallString");
    ASSERT_TRUE(command.has_value());
    EXPECT_EQ(fake::sz_text(*command), L"\"" + kInstallExe + L"\" --uninstall");
  }
};

TEST_F(Install, CancelWritesNothing) {
  fake::answer_boxes({IDCANCEL});
  EXPECT_EQ(run(), 0);
  ASSERT_EQ(fake::boxes().size(), 1u);
  EXPECT_EQ(fake::boxes()[0].text, MSG_INSTALL_PROMPT);
  EXPECT_EQ(fake::boxes()[0].caption, APP_NAME);
  EXPECT_EQ(fake::boxes()[0].style, static_cast<UINT>(MB_OKCANCEL | MB_ICONQUESTION));
  EXPECT_EQ(fake::boxes()[0].owner, nullptr);
  EXPECT_FALSE(fake::node(kInstallDir).has_value());
  EXPECT_FALSE(fake::reg_key_exists(HKEY_CURRENT_USER, UNINSTALL_KEY));
  EXPECT_TRUE(fake::saves().empty());
  EXPECT_TRUE(fake::processes().empty());
}

TEST_F(Install, AFailingPromptCountsAsCancel) {
  fake::fail("MessageBoxW", 0, 1);
  EXPECT_EQ(run(), 0);
  EXPECT_FALSE(fake::node(kInstallDir).has_value());
}

TEST_F(Install, OkInstallsInOrderAndOpensTheErp) {
  EXPECT_EQ(run(), 0);
  expect_complete_install();
  EXPECT_FALSE(fake::node(kTemporary).has_value());
  EXPECT_EQ(box_texts(), std::vector<std::wstring>{MSG_INSTALL_PROMPT});
  ASSERT_EQ(fake::processes().size(), 1u);
  EXPECT_EQ(fake::processes()[0].working_dir, kInstallDir);
  EXPECT_TRUE(fake::is_dir(kInstallDir + L"\\ERP Profile"));

  const int move = fake::find_call("MoveFileExW");
  ASSERT_GE(move, 0);
  EXPECT_EQ(fake::calls()[move].detail, kInstallExe + L" flags=9");
  EXPECT_LT(fake::find_call("MessageBoxW"), fake::find_call("CreateDirectoryW"));
  EXPECT_LT(fake::find_call("CreateDirectoryW"), fake::find_call("GetCurrentProcessId"));
  EXPECT_LT(move, fake::find_call("CoInitializeEx"));
  EXPECT_LT(fake::find_call("CoUninitialize"), fake::find_call("RegCreateKeyExW"));
  EXPECT_EQ(fake::calls()[fake::find_call("CoInitializeEx")].detail, L"flags=2");
  EXPECT_EQ(fake::reg_value_names(HKEY_CURRENT_USER, UNINSTALL_KEY), kValueNames);
  ASSERT_EQ(fake::saves().size(), 2u);
  EXPECT_EQ(fake::saves()[0].file, kDesktopLink);
  EXPECT_EQ(fake::saves()[1].file, kProgramsLink);
}

TEST_F(Install, ReinstallReplacesTheEarlierCopyWithoutWarning) {
  fake::add_file(kInstallExe, "old-image");
  fake::set_reg_sz(HKEY_CURRENT_USER, UNINSTALL_KEY, L"DisplayVersion", L"0.9");
  EXPECT_EQ(run(), 0);
  expect_complete_install();
  EXPECT_EQ(box_texts(), std::vector<std::wstring>{MSG_INSTALL_PROMPT});
}

// A setup file as a browser or a read-only share hands it over: the download
// mark and the read-only attribute stay with it and never reach install_exe,
// so shortcuts start the launcher without a security warning and the next
// install can replace it.
TEST_F(Install, TheInstalledCopyCarriesNeitherTheDownloadMarkNorReadOnly) {
  const std::wstring mark = kTemporary + L":Zone.Identifier";
  struct Case {
    const char* name;
    DWORD attributes;  // the setup file's
    bool marked;
    DWORD installed;  // install_exe's
  };
  const Case cases[] = {
      {"downloaded", FILE_ATTRIBUTE_ARCHIVE, true, FILE_ATTRIBUTE_ARCHIVE},
      {"read-only", FILE_ATTRIBUTE_READONLY, false, FILE_ATTRIBUTE_NORMAL},
      {"downloaded and read-only", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, true,
       FILE_ATTRIBUTE_ARCHIVE},
      {"hidden and read-only", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, true,
       FILE_ATTRIBUTE_HIDDEN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    with_browser();
    fake::add_file(fake::kSetupPath, "setup-image", c.attributes);
    if (c.marked) {
      fake::add_stream(fake::kSetupPath, L"Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3\r\n");
    }
    EXPECT_EQ(run(), 0);
    expect_complete_install();
    EXPECT_EQ(box_texts(), std::vector<std::wstring>{MSG_INSTALL_PROMPT});
    EXPECT_TRUE(fake::node(kInstallExe)->streams.empty());
    EXPECT_EQ(fake::node(kInstallExe)->attributes, c.installed);
    // Shed from the temporary copy, between the copy and the move.
    const int copy = fake::find_call("CopyFileW", kTemporary);
    const int unmark = fake::find_call("DeleteFileW", mark);
    ASSERT_GE(unmark, 0);
    EXPECT_LT(copy, unmark);
    EXPECT_LT(unmark, fake::find_call("MoveFileExW"));
    // The read-only bit goes first: Windows keeps the streams of a read-only
    // file from being deleted.
    const int clear = fake::find_call("SetFileAttributesW");
    if ((c.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      ASSERT_GE(clear, 0);
      EXPECT_LT(copy, clear);
      EXPECT_LT(clear, unmark);
    } else {
      EXPECT_EQ(clear, -1);
    }
    // A second install from the same setup file replaces the first copy.
    EXPECT_EQ(run(), 0);
    expect_complete_install();
    EXPECT_EQ(box_texts(), (std::vector<std::wstring>{MSG_INSTALL_PROMPT, MSG_INSTALL_PROMPT}));
    EXPECT_FALSE(fake::node(kTemporary).has_value());
    // The setup file itself is left as it was.
    EXPECT_EQ(fake::node(fake::kSetupPath)->attributes, c.attributes);
    EXPECT_EQ(fake::node(fake::kSetupPath)->streams.size(), c.marked ? 1u : 0u);
    expect_no_problems();
  }
}

// Shedding the mark or the attribute is a courtesy to later runs: when it
// fails, the install goes on exactly as it would have.
TEST_F(Install, AMarkOrAttributeThatCannotBeShedDoesNotStopTheInstall) {
  const std::wstring mark = kTemporary + L":Zone.Identifier";
  struct Case {
    const char* name;
    std::string op;
    std::wstring detail;
    bool mark_stays;
    bool read_only_stays;
  };
  const Case cases[] = {
      {"reading the attributes", "GetFileAttributesW", kTemporary, true, true},
      {"clearing read-only", "SetFileAttributesW",
       kTemporary + L" attributes=" + std::to_wstring(FILE_ATTRIBUTE_ARCHIVE), true, true},
      {"deleting the mark", "DeleteFileW", mark, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto arrange = [] {
      fake::reset();
      with_browser();
      fake::add_file(fake::kSetupPath, "setup-image",
                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
      fake::add_stream(fake::kSetupPath, L"Zone.Identifier", "ZoneId=3");
    };
    // Which call of the operation it is, from a run that fails nothing.
    arrange();
    run();
    int nth = 0;
    for (const fake::Call& call : fake::calls()) {
      if (call.op == c.op) {
        ++nth;
        if (call.detail == c.detail) break;
      }
    }
    ASSERT_GE(fake::find_call(c.op, c.detail), 0);
    arrange();
    fake::fail_usual(c.op, nth);
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(fake::calls()[fake::find_call(c.op, c.detail)].failed);
    expect_complete_install();
    EXPECT_EQ(box_texts(), std::vector<std::wstring>{MSG_INSTALL_PROMPT});
    EXPECT_EQ(fake::node(kInstallExe)->streams.size(), c.mark_stays ? 1u : 0u);
    EXPECT_EQ((fake::node(kInstallExe)->attributes & FILE_ATTRIBUTE_READONLY) != 0,
              c.read_only_stays);
    EXPECT_FALSE(fake::node(kTemporary).has_value());
    ASSERT_EQ(fake::processes().size(), 1u);
    expect_no_problems();
  }
}

// A temporary name that fits with no room for ":Zone.Identifier": the mark
// cannot be named, so that step is skipped and the install completes.
TEST_F(Install, ATemporaryNameTooLongForTheMarkSkipsThatStep) {
  // Local AppData of 990 units: the temporary name has exactly 1023.
  const std::wstring local = L"C:\\" + std::wstring(987, L'a');
  const std::wstring install_dir = local + L"\\KORVELA ERP";
  const std::wstring temporary = install_dir + L"\\KORVELA ERP-4242.tmp";
  ASSERT_EQ(temporary.size(), 1023u);
  fake::add_dir(local);
  fake::set_known_folder(FOLDERID_LocalAppData, local);
  fake::add_file(fake::kSetupPath, "setup-image", FILE_ATTRIBUTE_READONLY);
  fake::add_stream(fake::kSetupPath, L"Zone.Identifier", "ZoneId=3");
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(box_texts(), std::vector<std::wstring>{MSG_INSTALL_PROMPT});
  const auto exe = fake::node(install_dir + L"\\KORVELA ERP.exe");
  ASSERT_TRUE(exe.has_value());
  EXPECT_EQ(exe->streams.size(), 1u);
  EXPECT_EQ(exe->attributes & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(count_calls("DeleteFileW"), 0);
  EXPECT_FALSE(fake::node(temporary).has_value());
}

TEST_F(Install, FailuresBeforeTheCopyIsInPlaceEndInTheInstallError) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::string earlier;  // install_exe's content afterwards; empty: none
  };
  const Case cases[] = {
      {"a file stands at install_dir", [] { fake::add_file(kInstallDir, "file"); }, ""},
      {"install_dir cannot be created", [] { fake::fail_usual("CreateDirectoryW", 1); }, ""},
      {"a file of the temporary name", [] { fake::add_file(kTemporary, "someone's"); }, ""},
      {"install_exe in use",
       [] {
         fake::add_file(kInstallExe, "old-image");
         fake::set_in_use(kInstallExe, true);
       },
       "old-image"},
      {"the temporary name does not fit", [] { with_long_local_app_data(); }, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    with_browser();
    c.arrange();
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(box_texts(), (std::vector<std::wstring>{MSG_INSTALL_PROMPT, MSG_INSTALL_ERROR}));
    EXPECT_EQ(fake::boxes()[1].style, static_cast<UINT>(MB_ICONERROR));
    const auto exe = fake::node(kInstallExe);
    EXPECT_EQ(exe.has_value() ? exe->content : std::string(), c.earlier);
    EXPECT_TRUE(fake::saves().empty());
    EXPECT_FALSE(fake::reg_key_exists(HKEY_CURRENT_USER, UNINSTALL_KEY));
    EXPECT_TRUE(fake::processes().empty());
    expect_no_problems();
  }
  // The temporary file someone else left is left as it was.
  fake::reset();
  fake::add_file(kTemporary, "someone's");
  run();
  EXPECT_EQ(fake::node(kTemporary)->content, "someone's");
  // After a failed move the temporary copy is gone.
  fake::reset();
  fake::add_file(kInstallExe, "old-image");
  fake::set_in_use(kInstallExe, true);
  run();
  EXPECT_FALSE(fake::node(kTemporary).has_value());
  // A temporary name that does not fit is not cut short and used: nothing is
  // copied, and the folder made for the copy stays empty.
  fake::reset();
  const std::wstring long_dir = with_long_local_app_data() + L"\\KORVELA ERP";
  run();
  EXPECT_EQ(fake::tree(long_dir), std::vector<std::wstring>{long_dir});
  EXPECT_EQ(count_calls("CopyFileW"), 0);
}

TEST_F(Install, IncompleteShortcutsOrRegistrationWarnThenLaunch) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    size_t saves;
    bool registered;
  };
  const Case cases[] = {
      {"no COM apartment", [] { fake::fail("CoInitializeEx", E_FAIL, 0); }, 0, true},
      {"only the Desktop shortcut fails", [] { fake::fail("IPersistFile::Save", E_FAIL, 1); }, 1,
       true},
      {"the registration fails", [] { fake::fail("RegCreateKeyExW", ERROR_ACCESS_DENIED, 0); }, 2,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    with_browser();
    c.arrange();
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(box_texts(), (std::vector<std::wstring>{MSG_INSTALL_PROMPT, MSG_INSTALL_WARNING}));
    EXPECT_EQ(fake::boxes()[1].style, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(fake::saves().size(), c.saves);
    EXPECT_EQ(fake::reg_key_exists(HKEY_CURRENT_USER, UNINSTALL_KEY), c.registered);
    // The warning is dismissed before the browser starts.
    ASSERT_EQ(fake::processes().size(), 1u);
    EXPECT_LT(fake::find_call("MessageBoxW", MSG_INSTALL_WARNING), fake::find_call("CreateProcessW"));
    EXPECT_EQ(fake::com_depth(), 0);
    expect_no_problems();
  }
}

TEST_F(Install, ACompleteInstallWithoutABrowserEndsInTheNotFoundMessage) {
  fake::reset();
  EXPECT_EQ(run(), 1);
  expect_complete_install();
  EXPECT_EQ(box_texts(), (std::vector<std::wstring>{MSG_INSTALL_PROMPT, MSG_EDGE_NOT_FOUND}));
}

// What an install run leaves, in the words of the oracle below: install_exe
// (and whether it is read-only or carries the download mark), the temporary
// copy, the shortcuts saved, the registration, the profile
// folder and the browser.
std::string install_left() {
  const auto exe = fake::node(kInstallExe);
  std::string left = !exe ? "no exe"
                     : exe->content == "old-image"   ? "old exe"
                     : exe->content == "setup-image" ? "new exe"
                                                     : "exe of " + exe->content;
  if (exe && (exe->attributes & FILE_ATTRIBUTE_READONLY) != 0) left += " read-only";
  if (exe && !exe->streams.empty()) left += " marked";
  left += fake::node(kTemporary) ? ", tmp" : ", no tmp";
  const bool desktop = fake::is_file(kDesktopLink);
  const bool programs = fake::is_file(kProgramsLink);
  left += desktop && programs ? ", both links"
          : desktop           ? ", desktop link"
          : programs          ? ", programs link"
                              : ", no links";
  left += ", reg " + registration_state(HKEY_CURRENT_USER, UNINSTALL_KEY, kValueNames);
  left += fake::is_dir(kInstallDir + L"\\ERP Profile") ? ", profile" : ", no profile";
  left += fake::processes().empty() ? ", no browser" : ", browser";
  return left;
}

// Each call of a re-install over an earlier install_exe, from a read-only
// setup file with the download mark, made to fail alone, and what the run
// must end in. The earlier install left only its executable,
// so every shortcut and registry value seen afterwards is this run's.
TEST_F(Install, EachFailingCallEndsAsItsOracleRowSays) {
  const ShownBox kPrompt = {MSG_INSTALL_PROMPT, MB_OKCANCEL | MB_ICONQUESTION};
  const std::vector<ShownBox> kDeclined = {};
  const std::vector<ShownBox> kPrompted = {kPrompt};
  const std::vector<ShownBox> kInstallError = {kPrompt, {MSG_INSTALL_ERROR, MB_ICONERROR}};
  const std::vector<ShownBox> kWarned = {kPrompt, {MSG_INSTALL_WARNING, MB_ICONWARNING}};
  const std::vector<ShownBox> kNotFound = {kPrompt, {MSG_EDGE_NOT_FOUND, MB_ICONERROR}};
  const std::vector<ShownBox> kLaunchError = {kPrompt, {MSG_LAUNCH_ERROR, MB_ICONERROR}};
  const std::string kUntouched = "old exe, no tmp, no links, reg absent, no profile, no browser";
  const std::string kComplete = "new exe, no tmp, both links, reg complete, profile, browser";
  const std::string kCompleteMarked =
      "new exe marked, no tmp, both links, reg complete, profile, browser";
  const std::string kCompleteReadOnlyMarked =
      "new exe read-only marked, no tmp, both links, reg complete, profile, browser";
  const std::string kNoShortcuts = "new exe, no tmp, no links, reg complete, profile, browser";
  const std::string kOnlyPrograms =
      "new exe, no tmp, programs link, reg complete, profile, browser";
  const std::string kOnlyDesktop = "new exe, no tmp, desktop link, reg complete, profile, browser";
  const std::string kUnregistered = "new exe, no tmp, both links, reg absent, profile, browser";
  const std::string kPartlyRegistered =
      "new exe, no tmp, both links, reg partial, profile, browser";
  const std::string kInstalledNoLaunch =
      "new exe, no tmp, both links, reg complete, no profile, no browser";
  const std::string kInstalledProfileOnly =
      "new exe, no tmp, both links, reg complete, profile, no browser";
  const std::wstring kFolder = kInstallDir;
  const std::wstring kIcon = kInstallExe + L",0";
  const std::wstring kDescription = L"打开 KORVELA ERP";
  const std::wstring kUninstallKey = std::wstring(L"HKCU\\") + UNINSTALL_KEY;
  const std::wstring kAppPath = std::wstring(L"HKCU\\") + APP_PATH_KEY + L" value=";
  const std::wstring kProfile = kInstallDir + L"\\ERP Profile";
  const wchar_t kJoin[] = L"%ls\\%ls";
  const char kOpen[] = "never closed";
  const std::vector<OracleRow> oracle = {
      {"", L"", 1, 0, kPrompted, kComplete},
      // Asked: a box that fails counts as Cancel.
      {"MessageBoxW", kPrompt.text, 1, 0, kDeclined, kUntouched},
      // The copy put in place over a temporary name; the folder is there already.
      {"CreateDirectoryW", kInstallDir, 1, 0, kPrompted, kComplete},
      {"GetFileAttributesW", kInstallDir, 1, 1, kInstallError, kUntouched},
      {"GetCurrentProcessId", L"", 1, 0, kPrompted, kComplete},
      {"StringCchVPrintfW", L"%ls\\KORVELA ERP-%lu.tmp", 1, 1, kInstallError, kUntouched},
      {"CopyFileW", kTemporary, 1, 1, kInstallError, kUntouched},
      // The copy of a read-only, downloaded setup file sheds both traits;
      // when it cannot, the install goes on as it would have.
      {"GetFileAttributesW", kTemporary, 1, 0, kPrompted, kCompleteReadOnlyMarked},
      {"SetFileAttributesW", kTemporary + L" attributes=128", 1, 0, kPrompted,
       kCompleteReadOnlyMarked},
      {"StringCchVPrintfW", L"%ls:Zone.Identifier", 1, 0, kPrompted, kCompleteMarked},
      {"DeleteFileW", kTemporary + L":Zone.Identifier", 1, 0, kPrompted, kCompleteMarked},
      {"MoveFileExW", kInstallExe + L" flags=9", 1, 1, kInstallError, kUntouched},
      // The shortcuts: any failure is the one warning, then the launch.
      {"CoInitializeEx", L"flags=2", 1, 0, kWarned, kNoShortcuts},
      {"SHGetKnownFolderPath", L"Desktop", 1, 0, kWarned, kOnlyPrograms},
      {"StringCchVPrintfW", kJoin, 1, 0, kWarned, kOnlyPrograms},
      {"CoCreateInstance", L"ShellLink IShellLinkW context=1", 1, 0, kWarned, kOnlyPrograms},
      {"IShellLinkW::SetPath", kInstallExe, 1, 0, kWarned, kOnlyPrograms},
      {"IShellLinkW::SetWorkingDirectory", kFolder, 1, 0, kWarned, kOnlyPrograms},
      {"IShellLinkW::SetDescription", kDescription, 1, 0, kWarned, kOnlyPrograms},
      {"IShellLinkW::SetIconLocation", kIcon, 1, 0, kWarned, kOnlyPrograms},
      {"IShellLinkW::QueryInterface", L"IPersistFile", 1, 0, kWarned, kOnlyPrograms},
      {"IPersistFile::Save", kDesktopLink, 1, 0, kWarned, kOnlyPrograms},
      {"SHGetKnownFolderPath", L"Programs", 1, 0, kWarned, kOnlyDesktop},
      {"StringCchVPrintfW", kJoin, 2, 0, kWarned, kOnlyDesktop},
      {"CoCreateInstance", L"ShellLink IShellLinkW context=1", 2, 0, kWarned, kOnlyDesktop},
      {"IShellLinkW::SetPath", kInstallExe, 2, 0, kWarned, kOnlyDesktop},
      {"IShellLinkW::SetWorkingDirectory", kFolder, 2, 0, kWarned, kOnlyDesktop},
      {"IShellLinkW::SetDescription", kDescription, 2, 0, kWarned, kOnlyDesktop},
      {"IShellLinkW::SetIconLocation", kIcon, 2, 0, kWarned, kOnlyDesktop},
      {"IShellLinkW::QueryInterface", L"IPersistFile", 2, 0, kWarned, kOnlyDesktop},
      {"IPersistFile::Save", kProgramsLink, 1, 0, kWarned, kOnlyDesktop},
      // The registration: the same warning; a failed close goes unnoticed.
      {"StringCchVPrintfW", L"\"%ls\" --uninstall", 1, 0, kWarned, kUnregistered},
      {"RegCreateKeyExW", kUninstallKey + L" access=2", 1, 0, kWarned, kUnregistered},
      {"RegSetValueExW", L"DisplayName", 1, 0, kWarned, kPartlyRegistered},
      {"RegSetValueExW", L"DisplayVersion", 1, 0, kWarned, kPartlyRegistered},
      {"RegSetValueExW", L"Publisher", 1, 0, kWarned, kPartlyRegistered},
      {"RegSetValueExW", L"DisplayIcon", 1, 0, kWarned, kPartlyRegistered},
      {"RegSetValueExW", L"InstallLocation", 1, 0, kWarned, kPartlyRegistered},
      {"RegSetValueExW", L"UninstallString", 1, 0, kWarned, kPartlyRegistered},
      {"RegSetValueExW", L"NoModify", 1, 0, kWarned, kPartlyRegistered},
      {"RegSetValueExW", L"NoRepair", 1, 0, kWarned, kPartlyRegistered},
      {"RegCloseKey", kUninstallKey, 1, 0, kPrompted, kComplete, kOpen},
      // The launch: its own messages; the install stays complete.
      {"RegGetValueW", kAppPath, 1, 1, kNotFound, kInstalledNoLaunch},
      {"GetFileAttributesW", kEdge, 1, 1, kNotFound, kInstalledNoLaunch},
      {"StringCchVPrintfW", kJoin, 3, 1, kLaunchError, kInstalledNoLaunch},
      {"CreateDirectoryW", kProfile, 1, 1, kLaunchError, kInstalledNoLaunch},
      {"StringCchVPrintfW", L"\"%ls\" --app=\"%ls\" --user-data-dir=\"%ls\" --no-first-run", 1,
       1, kLaunchError, kInstalledProfileOnly},
      {"CreateProcessW", kEdge, 1, 1, kLaunchError, kInstalledProfileOnly},
      {"CloseHandle", L"thread", 1, 0, kPrompted, kComplete, kOpen},
      {"CloseHandle", L"process", 1, 0, kPrompted, kComplete, kOpen},
  };
  AppPaths paths;
  sweep_against(oracle, {[&paths] {
                           fake::add_file(fake::kSetupPath, "setup-image",
                                          FILE_ATTRIBUTE_READONLY);
                           fake::add_stream(fake::kSetupPath, L"Zone.Identifier", "ZoneId=3");
                           fake::add_file(kInstallExe, "old-image");
                           with_browser();
                           ASSERT_TRUE(resolve_app_paths(paths));
                         },
                         [&paths] { return install_app(paths); }, install_left});
}

// The process killed after any call: the next run repairs the install, and an
// earlier install_exe is whole at every point in between. Also for a setup
// file that is read-only and carries the download mark, whose traits the
// killed run may have left on its temporary copy.
TEST_F(Install, AnInterruptedInstallIsRepairedByTheNextRun) {
  for (const bool downloaded_read_only : {false, true}) {
    SCOPED_TRACE(downloaded_read_only ? "read-only, marked setup file" : "plain setup file");
    const auto arrange = [downloaded_read_only] {
      if (downloaded_read_only) {
        fake::add_file(fake::kSetupPath, "setup-image", FILE_ATTRIBUTE_READONLY);
        fake::add_stream(fake::kSetupPath, L"Zone.Identifier", "ZoneId=3");
      }
    };
    fake::reset();
    with_browser();
    arrange();
    fake::add_file(kInstallExe, "old-image");
    std::vector<std::shared_ptr<fake::World>> points;
    fake::set_after_call([&points](size_t) { points.push_back(fake::save_world()); });
    run();
    fake::set_after_call(nullptr);
    ASSERT_GT(points.size(), 10u);
    for (size_t i = 0; i < points.size(); ++i) {
      SCOPED_TRACE("killed after call " + std::to_string(i));
      fake::reset();
      fake::restore_world(points[i]);
      // The next run is another process, with another temporary name.
      fake::set_process_id(4343);
      const auto exe = fake::node(kInstallExe);
      ASSERT_TRUE(exe.has_value());
      EXPECT_TRUE(exe->content == "old-image" || exe->content == "setup-image") << exe->content;
      EXPECT_EQ(run(), 0);
      expect_complete_install();
      EXPECT_TRUE(fake::node(kInstallExe)->streams.empty());
      EXPECT_EQ(fake::node(kInstallExe)->attributes & FILE_ATTRIBUTE_READONLY, 0u);
      EXPECT_FALSE(fake::node(kInstallDir + L"\\KORVELA ERP-4343.tmp").has_value());
      expect_no_problems();
    }
  }
  fake::reset();
}

}  // namespace
