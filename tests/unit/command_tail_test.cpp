// The command-line tail: what follows the program name and the blanks after it.
#include "app/command_tail.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CommandTail, FollowsTheProgramNameAndTheBlanksAfterIt) {
  struct Case {
    const char* name;
    const wchar_t* line;
    const wchar_t* tail;
  };
  const Case cases[] = {
      {"quoted program name, one argument", L"\"C:\\a b\\x.exe\" --uninstall", L"--uninstall"},
      {"blanks and tabs before the argument", L"\"C:\\a b\\x.exe\" \t \t--uninstall",
       L"--uninstall"},
      {"other control units before the argument", L"\"C:\\a b\\x.exe\"\x01\r\n\x1f--uninstall",
       L"--uninstall"},
      {"trailing blank kept", L"\"C:\\a b\\x.exe\" --uninstall ", L"--uninstall "},
      {"quotes in the tail kept", L"\"C:\\a b\\x.exe\" \"--uninstall\"", L"\"--uninstall\""},
      {"everything after the first argument kept", L"\"C:\\a b\\x.exe\" --uninstall  now",
       L"--uninstall  now"},
      {"unquoted program name", L"C:\\ab\\x.exe --uninstall", L"--uninstall"},
      {"quotes inside an unquoted name", L"C:\\\"a b\"\\x.exe --uninstall", L"--uninstall"},
      // The quote never closes, so the blank and the argument still belong to the name.
      {"unmatched quote in the program name", L"\"C:\\a b\\x.exe --uninstall", L""},
      // An empty program name: the blanks are skipped and the rest is the tail.
      {"line beginning with blanks", L"  \t--uninstall x", L"--uninstall x"},
      {"program name alone, quoted", L"\"C:\\a b\\x.exe\"", L""},
      {"program name alone, followed by blanks", L"\"C:\\a b\\x.exe\"  \t", L""},
      {"program name alone, unquoted", L"--uninstall", L""},
      {"empty line", L"", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const wchar_t* tail = command_tail(c.line);
    ASSERT_NE(tail, nullptr);
    EXPECT_EQ(std::wstring(tail), std::wstring(c.tail));
    // The tail is a suffix of the line itself, not a copy.
    const std::wstring line(c.line);
    const std::wstring expected(c.tail);
    if (!expected.empty()) {
      EXPECT_EQ(tail, c.line + (line.size() - expected.size()));
    }
  }
}

TEST(CommandTail, NullLineGivesTheEmptyString) {
  const wchar_t* tail = command_tail(nullptr);
  ASSERT_NE(tail, nullptr);
  EXPECT_EQ(tail[0], L'\0');
}

}  // namespace
