// The shared helpers and the bounded formatting, against the fake Windows.
#include "tests/fake/fake_test.h"

#include <string>

#include "core/format.h"
#include "core/helpers.h"

namespace {

using Helpers = FakeWindowsTest;

std::wstring folder_of_length(size_t units) {
  std::wstring path = L"C:\\";
  path += std::wstring(units - path.size(), L'f');
  return path;
}

TEST_F(Helpers, KnownFolderPathAcceptsPathsUpTo1023Units) {
  struct Case { const char* name; size_t units; bool ok; };
  const Case cases[] = {
      {"1023 units", 1023, true}, {"1024 units", 1024, false}, {"2000 units", 2000, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring path = folder_of_length(c.units);
    fake::set_known_folder(FOLDERID_LocalAppData, path);
    wchar_t out[PATH_CAPACITY];
    EXPECT_EQ(known_folder_path(FOLDERID_LocalAppData, 0, out), c.ok);
    if (c.ok) {
      EXPECT_EQ(std::wstring(out), path);
    }
    // Every block handed out has been freed, whatever the outcome.
    EXPECT_TRUE(fake::problems().empty());
  }
}

TEST_F(Helpers, KnownFolderPathFreesTheBlockOfAFailedLookup) {
  struct Case { const char* name; HRESULT result; bool block; };
  const Case cases[] = {
      {"failure that hands back a block", E_FAIL, true},
      {"failure with a null block", E_FAIL, false},
      {"success with a null block", S_OK, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    fake::set_known_folder_answer(FOLDERID_Desktop, c.result, c.block);
    wchar_t out[PATH_CAPACITY];
    EXPECT_FALSE(known_folder_path(FOLDERID_Desktop, KF_FLAG_CREATE, out));
    EXPECT_EQ(fake::find_call("CoTaskMemFree"), static_cast<int>(fake::calls().size()) - 1);
    EXPECT_TRUE(fake::problems().empty()) << testing::PrintToString(fake::problems());
  }
}

TEST_F(Helpers, KnownFolderPathPassesItsFlags) {
  const std::wstring missing = L"C:\\Users\\tester\\NewDesktop";
  fake::set_known_folder(FOLDERID_Desktop, missing);
  wchar_t out[PATH_CAPACITY];
  ASSERT_TRUE(known_folder_path(FOLDERID_Desktop, KF_FLAG_CREATE, out));
  EXPECT_TRUE(fake::is_dir(missing));
}

TEST_F(Helpers, EnsureDirectoryDecidesByWhatStandsThereAfterwards) {
  fake::add_dir(L"C:\\existing");
  fake::add_file(L"C:\\file");
  struct Case { const char* name; const wchar_t* path; bool ok; bool dir_after; };
  const Case cases[] = {
      {"new folder", L"C:\\new", true, true},
      {"existing folder, although creating it fails", L"C:\\existing", true, true},
      {"a file of that name", L"C:\\file", false, false},
      {"missing parent: nothing created", L"C:\\missing\\child", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ensure_directory(c.path), c.ok);
    EXPECT_EQ(fake::is_dir(c.path), c.dir_after);
  }
  EXPECT_FALSE(fake::node(L"C:\\missing").has_value());
}

TEST_F(Helpers, FileExistsMeansSomethingThatIsNotADirectory) {
  fake::add_dir(L"C:\\dir");
  fake::add_file(L"C:\\hidden.exe", "", FILE_ATTRIBUTE_HIDDEN);
  fake::add_file(L"C:\\readonly.exe", "", FILE_ATTRIBUTE_READONLY);
  fake::add_file(L"C:\\system.exe", "", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN);
  struct Case { const wchar_t* path; bool exists; };
  const Case cases[] = {{L"C:\\missing", false}, {L"C:\\dir", false}, {L"C:\\hidden.exe", true},
                        {L"C:\\readonly.exe", true}, {L"C:\\system.exe", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.path)));
    EXPECT_EQ(file_exists(c.path), c.exists);
  }
}

TEST_F(Helpers, StartProcessClosesThreadThenProcessHandle) {
  fake::add_file(L"C:\\app.exe");
  fake::add_dir(L"C:\\work");
  wchar_t line[COMMAND_CAPACITY] = L"\"C:\\app.exe\" --x";
  ASSERT_TRUE(start_process(L"C:\\app.exe", line, CREATE_NO_WINDOW, L"C:\\work"));
  ASSERT_EQ(fake::processes().size(), 1u);
  const fake::Process& p = fake::processes()[0];
  EXPECT_EQ(p.application, L"C:\\app.exe");
  EXPECT_EQ(p.command_line, L"\"C:\\app.exe\" --x");
  EXPECT_EQ(p.creation_flags, static_cast<DWORD>(CREATE_NO_WINDOW));
  EXPECT_EQ(p.working_dir, L"C:\\work");
  EXPECT_FALSE(p.inherit_handles);
  EXPECT_TRUE(p.environment_null);
  EXPECT_TRUE(p.process_attributes_null);
  EXPECT_TRUE(p.thread_attributes_null);
  EXPECT_EQ(p.startup_cb, 104u);
  EXPECT_EQ(p.startup_flags, 0u);
  const int thread = fake::find_call("CloseHandle", L"thread");
  const int process = fake::find_call("CloseHandle", L"process");
  ASSERT_GE(thread, 0);
  EXPECT_LT(thread, process);
}

TEST_F(Helpers, StartProcessThatFailsHasNothingToClose) {
  wchar_t line[COMMAND_CAPACITY] = L"\"C:\\missing.exe\"";
  EXPECT_FALSE(start_process(L"C:\\missing.exe", line, 0, L"C:\\"));
  EXPECT_EQ(fake::find_call("CloseHandle"), -1);
  EXPECT_TRUE(fake::processes().empty());
}

TEST_F(Helpers, ShowErrorReturnsOneHoweverTheBoxEnds) {
  EXPECT_EQ(show_error(L"text"), 1);
  fake::fail("MessageBoxW", 0, 0);
  EXPECT_EQ(show_error(L"text"), 1);
  ASSERT_EQ(fake::boxes().size(), 1u);
  const fake::Box& box = fake::boxes()[0];
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_EQ(box.text, L"text");
  EXPECT_EQ(box.caption, L"KORVELA ERP");
  EXPECT_EQ(box.style, static_cast<UINT>(MB_ICONERROR));
}

TEST_F(Helpers, BoundedFormattingRefusesTextsThatDoNotFit) {
  struct Case { const char* name; size_t units; bool ok; };
  const Case cases[] = {{"1023 units", 1023, true}, {"1024 units", 1024, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring name(c.units - 3, L'n');
    wchar_t out[PATH_CAPACITY];
    EXPECT_EQ(join_path(out, L"C:", name.c_str()), c.ok);
    if (c.ok) {
      EXPECT_EQ(std::wstring(out), L"C:\\" + name);
    }
  }
  const std::wstring command(COMMAND_CAPACITY - 1, L'c');
  wchar_t line[COMMAND_CAPACITY];
  EXPECT_TRUE(format_text(line, L"%ls", command.c_str()));
  EXPECT_FALSE(format_text(line, L"%ls.", command.c_str()));
}

TEST_F(Helpers, JoinKeepsEveryBackslash) {
  wchar_t out[PATH_CAPACITY];
  ASSERT_TRUE(join_path(out, L"C:\\Users\\", L"KORVELA ERP"));
  EXPECT_EQ(std::wstring(out), L"C:\\Users\\\\KORVELA ERP");
  ASSERT_TRUE(join_path(out, L"", L"KORVELA ERP"));
  EXPECT_EQ(std::wstring(out), L"\\KORVELA ERP");
}

TEST_F(Helpers, LengthRuleAcceptsOnlyOneTo1023) {
  EXPECT_FALSE(path_length_ok(0));
  EXPECT_TRUE(path_length_ok(1));
  EXPECT_TRUE(path_length_ok(1023));
  EXPECT_FALSE(path_length_ok(1024));
  EXPECT_FALSE(path_length_ok(1025));
}

}  // namespace
