// The uninstall flow against the fake Windows: the prompt, the deferred delete
// started before anything is removed, and what each failure leaves.
#include "tests/fake/fake_test.h"

#include <map>
#include <string>
#include <vector>

#include "app/app_paths.h"
#include "core/constants.h"
#include "core/messages.h"
#include "setup/uninstall.h"

namespace {

const std::wstring kInstallDir = std::wstring(fake::kLocalAppData) + L"\\KORVELA ERP";
const std::wstring kInstallExe = kInstallDir + L"\\KORVELA ERP.exe";
const std::wstring kDesktopLink = std::wstring(fake::kDesktop) + L"\\KORVELA ERP.lnk";
const std::wstring kProgramsLink = std::wstring(fake::kPrograms) + L"\\KORVELA ERP.lnk";

std::wstring powershell_below(const std::wstring& system_dir) {
  return system_dir + L"\\WindowsPowerShell\\v1.0\\powershell.exe";
}

std::wstring expected_command(const std::wstring& powershell, DWORD id) {
  return L"\"" + powershell +
         L"\" -NoLogo -NoProfile -NonInteractive -WindowStyle Hidden -Command \"Wait-Process -Id " +
         std::to_wstring(id) +
         L" -ErrorAction SilentlyContinue; Remove-Item -LiteralPath (Join-Path "
         L"([Environment]::GetFolderPath('LocalApplicationData')) 'KORVELA ERP\\KORVELA ERP.exe') "
         L"-Force\"";
}

class Uninstall : public FakeWindowsTest {
 protected:
  void SetUp() override {
    FakeWindowsTest::SetUp();
    installed();
  }
  static void installed() {
    fake::add_file(kInstallExe, "installed-image");
    fake::add_dir(kInstallDir + L"\\ERP Profile");
    fake::add_file(kDesktopLink, "link");
    fake::add_file(kProgramsLink, "link");
    fake::set_reg_sz(HKEY_CURRENT_USER, UNINSTALL_KEY, L"DisplayName", L"KORVELA ERP");
    fake::add_file(powershell_below(fake::kSystemDir));
    fake::set_module_path(kInstallExe);
  }
  static int run() {
    AppPaths paths;
    EXPECT_TRUE(resolve_app_paths(paths));
    return uninstall_app(paths);
  }
  static void expect_untouched() {
    EXPECT_TRUE(fake::processes().empty());
    EXPECT_TRUE(fake::is_file(kDesktopLink));
    EXPECT_TRUE(fake::is_file(kProgramsLink));
    EXPECT_TRUE(fake::reg_key_exists(HKEY_CURRENT_USER, UNINSTALL_KEY));
    EXPECT_TRUE(fake::is_file(kInstallExe));
  }
};

TEST_F(Uninstall, AnythingButYesChangesNothing) {
  struct Case { const char* name; std::vector<int> answers; bool box_fails; };
  const Case cases[] = {{"No", {IDNO}, false}, {"Enter: No is the default", {}, false},
                        {"the box fails", {}, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    installed();
    fake::answer_boxes(c.answers);
    if (c.box_fails) fake::fail("MessageBoxW", 0, 1);
    EXPECT_EQ(run(), 0);
    expect_untouched();
    if (!c.box_fails) {
      ASSERT_EQ(fake::boxes().size(), 1u);
      EXPECT_EQ(fake::boxes()[0].text, MSG_UNINSTALL_PROMPT);
      EXPECT_EQ(fake::boxes()[0].caption, APP_NAME);
      EXPECT_EQ(fake::boxes()[0].style, 0x124u);
      EXPECT_EQ(fake::boxes()[0].owner, nullptr);
    }
    expect_no_problems();
  }
}

TEST_F(Uninstall, YesStartsTheDeferredDeleteFirstThenRemovesTheTraces) {
  fake::set_process_id(4000000123u);
  fake::answer_boxes({IDYES});
  EXPECT_EQ(run(), 0);
  ASSERT_EQ(fake::processes().size(), 1u);
  const fake::Process& child = fake::processes()[0];
  const std::wstring powershell = powershell_below(fake::kSystemDir);
  EXPECT_EQ(child.application, powershell);
  EXPECT_EQ(child.command_line, expected_command(powershell, 4000000123u));
  EXPECT_EQ(child.creation_flags, static_cast<DWORD>(CREATE_NO_WINDOW));
  EXPECT_EQ(child.working_dir, kInstallDir);
  EXPECT_FALSE(child.inherit_handles);
  EXPECT_TRUE(child.environment_null);
  EXPECT_EQ(fake::boxes().size(), 1u);

  EXPECT_FALSE(fake::is_file(kDesktopLink));
  EXPECT_FALSE(fake::is_file(kProgramsLink));
  EXPECT_FALSE(fake::reg_key_exists(HKEY_CURRENT_USER, UNINSTALL_KEY));
  // The executable is the child's to delete; folder and profile stay.
  EXPECT_TRUE(fake::is_file(kInstallExe));
  EXPECT_TRUE(fake::is_dir(kInstallDir + L"\\ERP Profile"));

  const int started = fake::find_call("CreateProcessW");
  EXPECT_LT(started, fake::find_call("DeleteFileW"));
  EXPECT_LT(fake::find_call("DeleteFileW", kDesktopLink), fake::find_call("DeleteFileW", kProgramsLink));
  EXPECT_LT(fake::find_call("DeleteFileW", kProgramsLink), fake::find_call("RegDeleteKeyW"));
  EXPECT_EQ(fake::find_call("CoInitializeEx"), -1);
}

TEST_F(Uninstall, NothingLeftToRemoveStillStartsTheChild) {
  fake::reset();  // no key, no shortcuts; the install folder stays
  fake::add_dir(kInstallDir);
  fake::add_file(powershell_below(fake::kSystemDir));
  fake::set_module_path(kInstallExe);
  fake::answer_boxes({IDYES});
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(fake::processes().size(), 1u);
  EXPECT_EQ(fake::boxes().size(), 1u);
}

TEST_F(Uninstall, FailuresBeforeTheChildStartsRemoveNothing) {
  struct Case { const char* name; size_t system_dir_units; bool powershell_present; bool ok; };
  const Case cases[] = {
      {"system directory of 985 units", 985, true, true},
      {"system directory of 986 units: the PowerShell path does not fit", 986, true, false},
      {"system directory of 1024 units", 1024, true, false},
      {"no powershell.exe", 19, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    installed();
    const std::wstring system_dir = L"C:\\" + std::wstring(c.system_dir_units - 3, L's');
    fake::set_system_dir(system_dir);
    if (c.powershell_present && c.system_dir_units <= 985) {
      fake::add_file(powershell_below(system_dir));
    }
    fake::answer_boxes({IDYES});
    const int code = run();
    if (c.ok) {
      EXPECT_EQ(code, 0);
      EXPECT_EQ(fake::processes().size(), 1u);
    } else {
      EXPECT_EQ(code, 1);
      ASSERT_EQ(fake::boxes().size(), 2u);
      EXPECT_EQ(fake::boxes()[1].text, MSG_UNINSTALL_ERROR);
      EXPECT_EQ(fake::boxes()[1].style, static_cast<UINT>(MB_ICONERROR));
      expect_untouched();
    }
    expect_no_problems();
  }
}

TEST_F(Uninstall, AShortcutPathThatCannotBeComposedIsSkipped) {
  const std::wstring long_desktop = L"C:\\" + std::wstring(1005, L'd');  // 1008 units
  fake::set_known_folder(FOLDERID_Desktop, long_desktop);
  fake::answer_boxes({IDYES});
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(count_calls("DeleteFileW"), 1);
  EXPECT_FALSE(fake::is_file(kProgramsLink));
}

// What an uninstall run leaves, in the words of the oracle below: the
// shortcuts, the registration and the deferred delete. install_exe is the
// child's to delete, so it is always still there when the run returns.
std::string uninstall_left() {
  const bool desktop = fake::is_file(kDesktopLink);
  const bool programs = fake::is_file(kProgramsLink);
  std::string left = desktop && programs ? "both links"
                     : desktop           ? "desktop link"
                     : programs          ? "programs link"
                                         : "no links";
  left += fake::reg_key_exists(HKEY_CURRENT_USER, UNINSTALL_KEY) ? ", reg" : ", no reg";
  left += fake::processes().empty() ? ", no child" : ", child";
  left += fake::is_file(kInstallExe) ? "" : ", no exe";
  return left;
}

// Each call of a confirmed uninstall made to fail alone, and what the run
// must end in: before the child starts, the error and nothing removed; after
// it, every failure is silent.
TEST_F(Uninstall, EachFailingCallEndsAsItsOracleRowSays) {
  const ShownBox kPrompt = {MSG_UNINSTALL_PROMPT, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2};
  const std::vector<ShownBox> kDeclined = {};
  const std::vector<ShownBox> kPrompted = {kPrompt};
  const std::vector<ShownBox> kError = {kPrompt, {MSG_UNINSTALL_ERROR, MB_ICONERROR}};
  const std::string kUntouched = "both links, reg, no child";
  const std::string kRemoved = "no links, no reg, child";
  const std::string kDesktopStays = "desktop link, no reg, child";
  const std::string kProgramsStays = "programs link, no reg, child";
  const std::wstring kPowerShell = powershell_below(fake::kSystemDir);
  const wchar_t kJoin[] = L"%ls\\%ls";
  const std::wstring kCommand =
      L"\"%ls\" -NoLogo -NoProfile -NonInteractive -WindowStyle Hidden -Command \"Wait-Process "
      L"-Id %lu -ErrorAction SilentlyContinue; Remove-Item -LiteralPath (Join-Path "
      L"([Environment]::GetFolderPath('LocalApplicationData')) 'KORVELA ERP\\KORVELA ERP.exe') "
      L"-Force\"";
  const char kOpen[] = "never closed with CloseHandle";
  const std::vector<OracleRow> oracle = {
      {"", L"", 1, 0, kPrompted, kRemoved},
      // Asked: a box that fails counts as No.
      {"MessageBoxW", kPrompt.text, 1, 0, kDeclined, kUntouched},
      // Up to the start of the deferred delete: the error, nothing removed.
      {"GetSystemDirectoryW", L"", 1, 1, kError, kUntouched},
      {"StringCchVPrintfW", kJoin, 1, 1, kError, kUntouched},
      {"GetCurrentProcessId", L"", 1, 0, kPrompted, kRemoved},
      {"StringCchVPrintfW", kCommand, 1, 1, kError, kUntouched},
      {"CreateProcessW", kPowerShell, 1, 1, kError, kUntouched},
      {"CloseHandle", L"thread", 1, 0, kPrompted, kRemoved, kOpen},
      {"CloseHandle", L"process", 1, 0, kPrompted, kRemoved, kOpen},
      // After it: each removal on its own, silently.
      {"SHGetKnownFolderPath", L"Desktop", 1, 0, kPrompted, kDesktopStays},
      {"StringCchVPrintfW", kJoin, 2, 0, kPrompted, kDesktopStays},
      {"DeleteFileW", kDesktopLink, 1, 0, kPrompted, kDesktopStays},
      {"SHGetKnownFolderPath", L"Programs", 1, 0, kPrompted, kProgramsStays},
      {"StringCchVPrintfW", kJoin, 3, 0, kPrompted, kProgramsStays},
      {"DeleteFileW", kProgramsLink, 1, 0, kPrompted, kProgramsStays},
      {"RegDeleteKeyW", std::wstring(L"HKCU\\") + UNINSTALL_KEY, 1, 0, kPrompted,
       "no links, reg, child"},
  };
  AppPaths paths;
  sweep_against(oracle, {[&paths] {
                           installed();
                           fake::answer_boxes({IDYES});
                           ASSERT_TRUE(resolve_app_paths(paths));
                         },
                         [&paths] { return uninstall_app(paths); }, uninstall_left});
}

}  // namespace
