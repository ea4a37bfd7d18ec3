// A DLL planted beside the executable, with the name of one that Windows'
// own DLLs load on demand, must not be loaded into the product.
#include <gtest/gtest.h>
#include <shlobj.h>

#include "core/messages.h"
#include "tests/e2e/harness.h"

namespace {

class PlantedDll : public ::testing::Test {
 protected:
  void SetUp() override {
    e2e::clean_world();
    e2e::make_dirs(e2e::install_dir());
    marker_ = e2e::local_app_data() + L"\\korvela-e2e-marker";
    DeleteFileW(marker_.c_str());
    SetEnvironmentVariableW(L"KORVELA_E2E_MARKER", marker_.c_str());
    e2e::copy_file(e2e::windows_path(KORVELA_E2E_DLL), e2e::install_dir() + L"\\uxtheme.dll");
  }
  void TearDown() override {
    DeleteFileW(marker_.c_str());
    e2e::clean_world();
  }
  std::wstring marker_;
};

TEST_F(PlantedDll, APlainProgramLoadsItSoTheTestCanFail) {
  const std::wstring plain = e2e::install_dir() + L"\\plain.exe";
  e2e::copy_file(e2e::windows_path(KORVELA_E2E_PLAIN), plain);
  const e2e::Run run = e2e::run(plain, L"\"" + plain + L"\"");
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_TRUE(e2e::is_file(marker_));
}

TEST_F(PlantedDll, TheProductShowingABoxDoesNotLoadIt) {
  e2e::copy_file(e2e::setup_exe, e2e::install_exe());
  const e2e::Run run = e2e::run(e2e::install_exe(), L"\"" + e2e::install_exe() + L"\"");
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].text, MSG_EDGE_NOT_FOUND);
  EXPECT_FALSE(e2e::is_file(marker_));
}

}  // namespace

namespace {

TEST_F(PlantedDll, TheSetupFileInDownloadsDoesNotLoadItForTheInstallPrompt) {
  PWSTR block = nullptr;
  ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Downloads, 0, nullptr, &block)));
  const std::wstring downloads = block;
  CoTaskMemFree(block);
  const std::wstring setup = downloads + L"\\QUENTARO-ERP-Windows-x64-Setup-2026-12-04.exe";
  const std::wstring planted = downloads + L"\\uxtheme.dll";
  e2e::copy_file(e2e::setup_exe, setup);
  e2e::copy_file(e2e::windows_path(KORVELA_E2E_DLL), planted);
  const e2e::Run run = e2e::run(setup, L"\"" + setup + L"\"", {IDCANCEL});
  DeleteFileW(setup.c_str());
  DeleteFileW(planted.c_str());
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].text, MSG_INSTALL_PROMPT);
  EXPECT_FALSE(e2e::is_file(marker_));
}

}  // namespace
