// The registered uninstall command on the real program, with a stand-in for
// Windows PowerShell at its place under the system directory.
#include <gtest/gtest.h>
#include <shlobj.h>

#include "core/constants.h"
#include "core/messages.h"
#include "tests/e2e/harness.h"

namespace {

class UninstallCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    e2e::clean_world();
    powershell_ = e2e::system_powershell();
    saved_ = powershell_ + L".korvela-saved";
    e2e::make_dirs(powershell_.substr(0, powershell_.rfind(L'\\')));
    MoveFileExW(powershell_.c_str(), saved_.c_str(), MOVEFILE_REPLACE_EXISTING);
    e2e::copy_file(e2e::windows_path(KORVELA_E2E_POWERSHELL), powershell_);
    record_ = e2e::local_app_data() + L"\\korvela-e2e-powershell.txt";
    DeleteFileW(record_.c_str());
    SetEnvironmentVariableW(L"KORVELA_E2E_PS_RECORD", record_.c_str());
    desktop_link_ = e2e::desktop_link();
    programs_link_ = e2e::programs_link();

    e2e::make_dirs(e2e::install_dir() + L"\\ERP Profile");
    e2e::copy_file(e2e::setup_exe, e2e::install_exe());
    for (const std::wstring& link : {desktop_link_, programs_link_}) {
      HANDLE file = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(file, INVALID_HANDLE_VALUE);
      CloseHandle(file);
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, UNINSTALL_KEY, 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  void TearDown() override {
    DeleteFileW(powershell_.c_str());
    MoveFileExW(saved_.c_str(), powershell_.c_str(), MOVEFILE_REPLACE_EXISTING);
    DeleteFileW(record_.c_str());
    DeleteFileW(desktop_link_.c_str());
    DeleteFileW(programs_link_.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, UNINSTALL_KEY);
    e2e::clean_world();
  }
  e2e::Run run_uninstall(int answer) {
    return e2e::run(e2e::install_exe(), L"\"" + e2e::install_exe() + L"\" --uninstall", {answer});
  }
  std::wstring expected_command(DWORD id) const {
    return L"\"" + powershell_ +
           L"\" -NoLogo -NoProfile -NonInteractive -WindowStyle Hidden -Command \"Wait-Process -Id " +
           std::to_wstring(id) +
           L" -ErrorAction SilentlyContinue; Remove-Item -LiteralPath (Join-Path "
           L"([Environment]::GetFolderPath('LocalApplicationData')) 'KORVELA ERP\\KORVELA ERP.exe') "
           L"-Force\"";
  }
  std::wstring powershell_, saved_, record_, desktop_link_, programs_link_;
};

TEST_F(UninstallCommand, NoChangesNothing) {
  const e2e::Run run = run_uninstall(IDNO);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0u);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].text, MSG_UNINSTALL_PROMPT);
  EXPECT_EQ(run.boxes[0].caption, APP_NAME);
  EXPECT_TRUE(e2e::read_lines(record_).empty()) << "no child expected";
  EXPECT_TRUE(e2e::is_file(e2e::install_exe()));
  EXPECT_TRUE(e2e::is_file(desktop_link_));
  EXPECT_TRUE(e2e::uninstall_key_exists());
}

TEST_F(UninstallCommand, YesRemovesEverythingButTheFolderAndTheProfile) {
  const e2e::Run run = run_uninstall(IDYES);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.boxes.size(), 1u);
  const std::vector<std::wstring> record = e2e::read_lines(record_);
  ASSERT_EQ(record.size(), 4u) << testing::PrintToString(record);
  EXPECT_EQ(record[0], expected_command(run.process_id));
  EXPECT_EQ(record[1], L"console=none");
  // The stand-in deletes only after the launcher's process has ended.
  EXPECT_EQ(record[2], L"waited=yes");
  EXPECT_EQ(record[3], L"deleted=yes");
  EXPECT_FALSE(e2e::is_file(e2e::install_exe()));
  EXPECT_FALSE(e2e::is_file(desktop_link_));
  EXPECT_FALSE(e2e::is_file(programs_link_));
  EXPECT_FALSE(e2e::uninstall_key_exists());
  EXPECT_TRUE(e2e::is_dir(e2e::install_dir()));
  EXPECT_TRUE(e2e::is_dir(e2e::install_dir() + L"\\ERP Profile"));
}

TEST_F(UninstallCommand, NothingLeftToRemoveEndsQuietly) {
  DeleteFileW(desktop_link_.c_str());
  DeleteFileW(programs_link_.c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, UNINSTALL_KEY);
  const e2e::Run run = run_uninstall(IDYES);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.boxes.size(), 1u);
}

TEST_F(UninstallCommand, NoPowerShellEndsInTheUninstallErrorAndRemovesNothing) {
  DeleteFileW(powershell_.c_str());
  const e2e::Run run = run_uninstall(IDYES);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 1u);
  ASSERT_EQ(run.boxes.size(), 2u);
  EXPECT_EQ(run.boxes[1].text, MSG_UNINSTALL_ERROR);
  EXPECT_TRUE(e2e::is_file(e2e::install_exe()));
  EXPECT_TRUE(e2e::is_file(desktop_link_));
  EXPECT_TRUE(e2e::is_file(programs_link_));
  EXPECT_TRUE(e2e::uninstall_key_exists());
}

}  // namespace

namespace {

struct Shortcut {
  std::wstring target;
  std::wstring working_dir;
  std::wstring arguments;
};

Shortcut read_shortcut(const std::wstring& file_path) {
  Shortcut shortcut;
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    ADD_FAILURE() << "no Shell Link object";
    return shortcut;
  }
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    if (SUCCEEDED(file->Load(file_path.c_str(), STGM_READ))) {
      wchar_t text[2048] = {};
      link->GetPath(text, 2048, nullptr, SLGP_RAWPATH);
      shortcut.target = text;
      text[0] = L'\0';
      link->GetWorkingDirectory(text, 2048);
      shortcut.working_dir = text;
      text[0] = L'\0';
      link->GetArguments(text, 2048);
      shortcut.arguments = text;
    } else {
      ADD_FAILURE() << "cannot load the shortcut";
    }
    file->Release();
  }
  link->Release();
  return shortcut;
}

std::wstring registered_uninstall_string() {
  wchar_t text[4096] = {};
  DWORD bytes = sizeof(text);
  RegGetValueW(HKEY_CURRENT_USER, UNINSTALL_KEY, L"UninstallString", RRF_RT_REG_SZ, nullptr, text,
               &bytes);
  return text;
}

// Downloads → install → browser → shortcut → browser, same profile →
// registered uninstall → a second install.
TEST_F(UninstallCommand, TheWholeLifeCycle) {
  // Start from nothing but the stand-in PowerShell.
  DeleteFileW(desktop_link_.c_str());
  DeleteFileW(programs_link_.c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, UNINSTALL_KEY);
  e2e::clean_world();
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  const std::wstring browser = e2e::fake_edge();
  e2e::make_dirs(browser.substr(0, browser.rfind(L'\\')));
  e2e::copy_file(e2e::browser_exe, browser);
  e2e::register_edge(HKEY_CURRENT_USER, browser);
  const std::wstring setup = e2e::known_folder(FOLDERID_Downloads) + L"\\" + L"" PRODUCT_SETUP_FILE;
  e2e::copy_file(e2e::setup_exe, setup);
  const std::wstring profile = e2e::install_dir() + L"\\ERP Profile";

  e2e::Run run = e2e::run(setup, L"\"" + setup + L"\"", {IDOK});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0u);
  ASSERT_EQ(e2e::read_record().size(), 2u);
  const std::wstring first_open = e2e::read_record()[0];
  EXPECT_NE(first_open.find(L"--user-data-dir=\"" + profile + L"\""), std::wstring::npos);

  // As the Desktop shortcut starts it: its target, its working directory, no arguments.
  const Shortcut shortcut = read_shortcut(desktop_link_);
  EXPECT_EQ(shortcut.target, e2e::install_exe());
  EXPECT_EQ(shortcut.working_dir, e2e::install_dir());
  EXPECT_EQ(shortcut.arguments, L"");
  run = e2e::run(shortcut.target, L"\"" + shortcut.target + L"\"", {}, shortcut.working_dir);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_TRUE(run.boxes.empty());
  ASSERT_EQ(e2e::read_record().size(), 4u);
  EXPECT_EQ(e2e::read_record()[2], first_open);

  // The command the list of installed programs runs.
  const std::wstring command = registered_uninstall_string();
  ASSERT_EQ(command, L"\"" + e2e::install_exe() + L"\" --uninstall");
  run = e2e::run(e2e::install_exe(), command, {IDYES});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_FALSE(e2e::is_file(e2e::install_exe()));
  EXPECT_FALSE(e2e::is_file(desktop_link_));
  EXPECT_FALSE(e2e::is_file(programs_link_));
  EXPECT_FALSE(e2e::uninstall_key_exists());
  EXPECT_TRUE(e2e::is_dir(profile));

  run = e2e::run(setup, L"\"" + setup + L"\"", {IDOK});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_TRUE(e2e::is_file(e2e::install_exe()));
  EXPECT_TRUE(e2e::uninstall_key_exists());
  EXPECT_TRUE(e2e::is_dir(profile));
  DeleteFileW(setup.c_str());
  CoUninitialize();
}

}  // namespace
