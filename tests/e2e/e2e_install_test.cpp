// The setup file in the user's Downloads folder under its distribution name,
// started from there: the install flow on the real program.
#include <gtest/gtest.h>
#include <shlobj.h>

#include "core/constants.h"
#include "core/messages.h"
#include "tests/e2e/harness.h"

namespace {

std::string content(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  return bytes;
}

class InstallFromDownloads : public ::testing::Test {
 protected:
  void SetUp() override {
    clean();
    setup_ = e2e::known_folder(FOLDERID_Downloads) + L"\\" + L"" PRODUCT_SETUP_FILE;
    e2e::copy_file(e2e::setup_exe, setup_);
  }
  void TearDown() override {
    // A scenario may have left either file read-only.
    SetFileAttributesW(setup_.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesW(e2e::install_exe().c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(setup_.c_str());
    clean();
  }
  static void clean() { e2e::clean_install(); }
  static std::wstring desktop_link() { return e2e::desktop_link(); }
  static std::wstring programs_link() { return e2e::programs_link(); }
  void register_browser() {
    const std::wstring browser = e2e::fake_edge();
    e2e::make_dirs(browser.substr(0, browser.rfind(L'\\')));
    e2e::copy_file(e2e::browser_exe, browser);
    e2e::register_edge(HKEY_CURRENT_USER, browser);
  }
  e2e::Run run_setup(const std::wstring& tail, const std::vector<int>& answers) {
    return e2e::run(setup_, L"\"" + setup_ + L"\"" + tail, answers);
  }
  std::wstring setup_;
};

TEST_F(InstallFromDownloads, CancelCreatesNothing) {
  register_browser();
  const e2e::Run run = run_setup(L"", {IDCANCEL});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0u);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].text, MSG_INSTALL_PROMPT);
  EXPECT_EQ(run.boxes[0].caption, APP_NAME);
  EXPECT_FALSE(e2e::is_dir(e2e::install_dir()));
  EXPECT_FALSE(e2e::is_file(desktop_link()));
  EXPECT_FALSE(e2e::is_file(programs_link()));
  EXPECT_FALSE(e2e::uninstall_key_exists());
  EXPECT_TRUE(e2e::read_record().empty());
}

TEST_F(InstallFromDownloads, OkInstallsAndOpensTheErpThenAReinstallRewrites) {
  register_browser();
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "first install" : "re-install");
    DeleteFileW(e2e::record_path().c_str());
    const e2e::Run run = run_setup(L"", {IDOK});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 0u);
    ASSERT_EQ(run.boxes.size(), 1u) << "no warning expected";
    EXPECT_EQ(content(e2e::install_exe()), content(setup_));
    EXPECT_TRUE(e2e::is_file(desktop_link()));
    EXPECT_TRUE(e2e::is_file(programs_link()));
    EXPECT_TRUE(e2e::uninstall_key_exists());
    const std::vector<std::wstring> record = e2e::read_record();
    ASSERT_EQ(record.size(), 2u);
    EXPECT_EQ(record[1], e2e::install_dir());
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((e2e::install_dir() + L"\\*.tmp").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "a temporary file was left";
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
  }
}

// A setup file run from a read-only share, or marked read-only, must not
// give a read-only installed copy: Windows would then refuse to replace it
// at the next install. (Wine copies the attribute but replaces read-only
// files, so here the attribute itself is what shows.)
TEST_F(InstallFromDownloads, AReadOnlySetupFileGivesAWritableCopyThatAReinstallReplaces) {
  register_browser();
  ASSERT_TRUE(SetFileAttributesW(setup_.c_str(), FILE_ATTRIBUTE_READONLY));
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "first install" : "re-install");
    const e2e::Run run = run_setup(L"", {IDOK});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 0u);
    ASSERT_EQ(run.boxes.size(), 1u) << "no warning or error expected";
    const DWORD attributes = GetFileAttributesW(e2e::install_exe().c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(attributes & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(content(e2e::install_exe()), content(setup_));
  }
  EXPECT_NE(GetFileAttributesW(setup_.c_str()) & FILE_ATTRIBUTE_READONLY, 0u)
      << "the setup file itself is left as it was";
}

TEST_F(InstallFromDownloads, AFileAtTheInstallFolderEndsInTheInstallError) {
  register_browser();
  HANDLE file = CreateFileW(e2e::install_dir().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  const e2e::Run run = run_setup(L"", {IDOK});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 1u);
  ASSERT_EQ(run.boxes.size(), 2u);
  EXPECT_EQ(run.boxes[1].text, MSG_INSTALL_ERROR);
  DeleteFileW(e2e::install_dir().c_str());
}

TEST_F(InstallFromDownloads, TheSetupFileWithUninstallStillAsksToInstall) {
  const e2e::Run run = run_setup(L" --uninstall", {IDCANCEL});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0u);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].text, MSG_INSTALL_PROMPT);
}

TEST_F(InstallFromDownloads, AnInstallWithoutABrowserEndsInTheNotFoundMessage) {
  const e2e::Run run = run_setup(L"", {IDOK});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 1u);
  ASSERT_EQ(run.boxes.size(), 2u);
  EXPECT_EQ(run.boxes[1].text, MSG_EDGE_NOT_FOUND);
  EXPECT_TRUE(e2e::is_file(e2e::install_exe()));
  EXPECT_TRUE(e2e::uninstall_key_exists());
}

}  // namespace
