// The installed executable under Wine: launch, browser discovery and the
// command-line tail, on the real program.
#include <gtest/gtest.h>

#include "core/constants.h"
#include "core/messages.h"
#include "tests/e2e/harness.h"

namespace {

class Launch : public ::testing::Test {
 protected:
  void SetUp() override {
    e2e::clean_world();
    e2e::make_dirs(e2e::install_dir());
    e2e::copy_file(e2e::setup_exe, e2e::install_exe());
  }
  void TearDown() override { e2e::clean_world(); }

  // A stand-in msedge.exe registered for the current user.
  std::wstring registered_browser() {
    const std::wstring browser = e2e::fake_edge();
    e2e::make_dirs(browser.substr(0, browser.rfind(L'\\')));
    e2e::copy_file(e2e::browser_exe, browser);
    e2e::register_edge(HKEY_CURRENT_USER, browser);
    return browser;
  }

  std::wstring quoted_install_exe() { return L"\"" + e2e::install_exe() + L"\""; }
};

TEST_F(Launch, OpensTheErpInAnAppWindowWithItsOwnProfile) {
  const std::wstring browser = registered_browser();
  const e2e::Run run = e2e::run(e2e::install_exe(), quoted_install_exe());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_TRUE(run.boxes.empty());
  const std::wstring profile = e2e::install_dir() + L"\\ERP Profile";
  const std::vector<std::wstring> record = e2e::read_record();
  ASSERT_EQ(record.size(), 2u) << "the browser should have started once";
  EXPECT_EQ(record[0], L"\"" + browser + L"\" --app=\"" + ERP_URL + L"\" --user-data-dir=\"" +
                           profile + L"\" --no-first-run");
  // GetCurrentDirectoryW reports the folder with a trailing backslash only for roots.
  EXPECT_EQ(record[1], e2e::install_dir());
  EXPECT_TRUE(e2e::is_dir(profile));
}

TEST_F(Launch, NoBrowserAnywhereEndsInTheNotFoundMessage) {
  const e2e::Run run = e2e::run(e2e::install_exe(), quoted_install_exe());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 1u);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].caption, APP_NAME);
  EXPECT_EQ(run.boxes[0].text, MSG_EDGE_NOT_FOUND);
  EXPECT_FALSE(e2e::is_dir(e2e::install_dir() + L"\\ERP Profile"));
  EXPECT_TRUE(e2e::read_record().empty());
}

TEST_F(Launch, TheTailSelectsTheModeOnTheRealProgram) {
  registered_browser();
  struct Case { const char* name; std::wstring tail_part; bool launches; };
  // Uninstall shows its prompt, answered No: the mode shows as that prompt
  // and no browser started.
  const Case cases[] = {
      {"exactly --uninstall", L" --uninstall", false},
      {"blanks and tabs before it", L" \t  \t--uninstall", false},
      {"a trailing blank", L" --uninstall ", true},
      {"capitals", L" --Uninstall", true},
      {"quoted", L" \"--uninstall\"", true},
      {"another argument after it", L" --uninstall x", true},
      {"no arguments", L"", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteFileW(e2e::record_path().c_str());
    const e2e::Run run = e2e::run(e2e::install_exe(), quoted_install_exe() + c.tail_part, {IDNO});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 0u);
    if (c.launches) {
      EXPECT_TRUE(run.boxes.empty());
    } else {
      ASSERT_EQ(run.boxes.size(), 1u);
      EXPECT_EQ(run.boxes[0].text, MSG_UNINSTALL_PROMPT);
    }
    EXPECT_EQ(e2e::read_record().size(), c.launches ? 2u : 0u);
  }
}

TEST_F(Launch, CommandLinesWithoutATailLaunch) {
  registered_browser();
  struct Case { const char* name; std::wstring line; };
  const Case cases[] = {
      {"unmatched quote swallows the line", L"\"" + e2e::install_exe() + L" --uninstall"},
      {"--uninstall as the program name", L"--uninstall"},
      {"a line that begins with a blank", L" --uninstall"},
  };
  for (size_t i = 0; i < 2; ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    DeleteFileW(e2e::record_path().c_str());
    const e2e::Run run = e2e::run(e2e::install_exe(), c.line);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(e2e::read_record().size(), 2u);
  }
  // A leading blank makes the program name empty: the tail is exactly
  // "--uninstall", so the run takes the uninstall road.
  DeleteFileW(e2e::record_path().c_str());
  const e2e::Run run = e2e::run(e2e::install_exe(), cases[2].line, {IDNO});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0u);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].text, MSG_UNINSTALL_PROMPT);
  EXPECT_TRUE(e2e::read_record().empty());
}

TEST_F(Launch, APathDifferingOnlyInLetterCaseCountsAsInstalled) {
  registered_browser();
  std::wstring upper = e2e::install_exe();
  for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
  const e2e::Run run = e2e::run(upper, L"\"" + upper + L"\"");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(e2e::read_record().size(), 2u);
}

}  // namespace

namespace {

// Discovery falls through the registrations to the three standard folders.
class Discovery : public ::testing::Test {
 protected:
  void SetUp() override {
    e2e::clean_world();
    e2e::make_dirs(e2e::install_dir());
    e2e::copy_file(e2e::setup_exe, e2e::install_exe());
    root_ = e2e::local_app_data() + L"\\korvela-e2e-edge";
    for (const wchar_t* name : {L"ProgramFiles(x86)", L"ProgramFiles", L"ProgramW6432", L"LOCALAPPDATA"}) {
      wchar_t value[1024] = {};
      const DWORD length = GetEnvironmentVariableW(name, value, 1024);
      saved_.push_back({name, value, length > 0});
    }
  }
  void TearDown() override {
    for (const Saved& s : saved_) {
      SetEnvironmentVariableW(s.name.c_str(), s.was_set ? s.value.c_str() : nullptr);
    }
    e2e::clean_world();
  }
  // A stand-in browser below `folder`, as Edge lies below Program Files.
  std::wstring browser_below(const std::wstring& folder) {
    const std::wstring browser = folder + L"\\Microsoft\\Edge\\Application\\msedge.exe";
    e2e::make_dirs(browser.substr(0, browser.rfind(L'\\')));
    e2e::copy_file(e2e::browser_exe, browser);
    return browser;
  }
  struct Saved {
    std::wstring name;
    std::wstring value;
    bool was_set;
  };
  std::vector<Saved> saved_;
  std::wstring root_;
};

TEST_F(Discovery, EachStandardFolderIsFoundWhenTheEarlierOnesFail) {
  const std::wstring empty = root_ + L"\\empty";
  e2e::make_dirs(empty);
  struct Case { const char* name; const wchar_t* variable; };
  // Wine sets ProgramFiles from ProgramW6432 in every 64-bit process, so both
  // are set together.
  const Case cases[] = {{"ProgramFiles(x86)", L"ProgramFiles(x86)"},
                        {"ProgramFiles", L"ProgramFiles"},
                        {"LOCALAPPDATA", L"LOCALAPPDATA"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const wchar_t* name : {L"ProgramFiles(x86)", L"ProgramFiles", L"ProgramW6432", L"LOCALAPPDATA"}) {
      SetEnvironmentVariableW(name, empty.c_str());
    }
    const std::wstring folder = root_ + L"\\" + c.variable;
    const std::wstring browser = browser_below(folder);
    SetEnvironmentVariableW(c.variable, folder.c_str());
    if (std::wstring(c.variable) == L"ProgramFiles") {
      SetEnvironmentVariableW(L"ProgramW6432", folder.c_str());
    }
    // A current-user registration naming a directory falls through too.
    e2e::register_edge(HKEY_CURRENT_USER, root_);
    DeleteFileW(e2e::record_path().c_str());
    const e2e::Run run = e2e::run(e2e::install_exe(), L"\"" + e2e::install_exe() + L"\"");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 0u);
    const std::vector<std::wstring> record = e2e::read_record();
    ASSERT_EQ(record.size(), 2u);
    EXPECT_EQ(record[0].rfind(L"\"" + browser + L"\" --app=", 0), 0u) << testing::PrintToString(record[0]);
    DeleteFileW(browser.c_str());
  }
}

TEST_F(Discovery, TheCurrentUserRegistrationWinsOverTheStandardFolders) {
  const std::wstring in_folder = browser_below(root_ + L"\\pf");
  SetEnvironmentVariableW(L"ProgramFiles(x86)", (root_ + L"\\pf").c_str());
  const std::wstring registered = root_ + L"\\registered\\msedge.exe";
  e2e::make_dirs(root_ + L"\\registered");
  e2e::copy_file(e2e::browser_exe, registered);
  e2e::register_edge(HKEY_CURRENT_USER, registered);
  const e2e::Run run = e2e::run(e2e::install_exe(), L"\"" + e2e::install_exe() + L"\"");
  ASSERT_TRUE(run.finished);
  const std::vector<std::wstring> record = e2e::read_record();
  ASSERT_EQ(record.size(), 2u);
  EXPECT_EQ(record[0].rfind(L"\"" + registered + L"\" --app=", 0), 0u);
}

}  // namespace
