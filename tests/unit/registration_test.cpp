// The uninstall entry under HKCU: its values, its key handle, and its removal.
#include "setup/registration.h"
#include "core/constants.h"
#include "tests/fake/fake_test.h"

#include <cwchar>
#include <string>
#include <vector>

namespace {

const std::wstring kInstallDir = std::wstring(fake::kLocalAppData) + L"\\KORVELA ERP";
const std::wstring kInstallExe = kInstallDir + L"\\KORVELA ERP.exe";
const std::wstring kKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVELA ERP";
const std::wstring kKeyText = L"HKCU\\" + kKey;

const std::vector<std::wstring> kNames = {L"DisplayName",     L"DisplayVersion", L"Publisher",
                                          L"DisplayIcon",     L"InstallLocation",
                                          L"UninstallString", L"NoModify",       L"NoRepair"};

AppPaths installed_paths() {
  AppPaths paths = {};
  std::wcscpy(paths.install_dir, kInstallDir.c_str());
  std::wcscpy(paths.install_exe, kInstallExe.c_str());
  return paths;
}

// The bytes a REG_SZ must hold: every UTF-16 unit little-endian, then one NUL.
std::vector<BYTE> utf16_with_nul(const std::wstring& text) {
  std::vector<BYTE> bytes;
  for (wchar_t unit : text) {
    bytes.push_back(static_cast<BYTE>(unit & 0xFF));
    bytes.push_back(static_cast<BYTE>((unit >> 8) & 0xFF));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

// Checks that the key holds the eight values of kInstallExe and kInstallDir.
void expect_eight_values() {
  struct Expected {
    const wchar_t* name;
    DWORD type;
    std::vector<BYTE> data;
  };
  const Expected expected[] = {
      {L"DisplayName", REG_SZ, utf16_with_nul(L"KORVELA ERP")},
      {L"DisplayVersion", REG_SZ, utf16_with_nul(L"1.0.20261204")},
      {L"Publisher", REG_SZ, utf16_with_nul(L"QUENTARO")},
      {L"DisplayIcon", REG_SZ, utf16_with_nul(kInstallExe)},
      {L"InstallLocation", REG_SZ, utf16_with_nul(kInstallDir)},
      {L"UninstallString", REG_SZ, utf16_with_nul(L"\"" + kInstallExe + L"\" --uninstall")},
      {L"NoModify", REG_DWORD, {1, 0, 0, 0}},
      {L"NoRepair", REG_DWORD, {1, 0, 0, 0}},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(narrow(e.name));
    const auto value = fake::reg_value(HKEY_CURRENT_USER, kKey, e.name);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->type, e.type);
    EXPECT_EQ(value->data, e.data);
  }
}

// ---- set_string_value -------------------------------------------------------

using SetStringValue = FakeWindowsTest;

TEST_F(SetStringValue, WritesTheTextAndOneTerminator) {
  struct Case {
    const char* name;
    std::wstring text;
  };
  const Case cases[] = {
      {"empty", L""},
      {"ASCII", L"KORVELA ERP"},
      {"outside ASCII", L"打开 KORVELA ERP"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    HKEY key = nullptr;
    ASSERT_EQ(win::RegCreateKeyExW(HKEY_CURRENT_USER, kKey.c_str(), 0, nullptr,
                                   REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_TRUE(set_string_value(key, L"Name", c.text.c_str()));
    win::RegCloseKey(key);
    const auto value = fake::reg_value(HKEY_CURRENT_USER, kKey, L"Name");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value->data, utf16_with_nul(c.text));
    EXPECT_EQ(value->data.size(), (c.text.size() + 1) * 2);
    expect_no_problems();
  }
}

TEST_F(SetStringValue, FailingWriteIsFalse) {
  HKEY key = nullptr;
  ASSERT_EQ(win::RegCreateKeyExW(HKEY_CURRENT_USER, kKey.c_str(), 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  fake::fail("RegSetValueExW", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(set_string_value(key, L"Name", L"text"));
  win::RegCloseKey(key);
  EXPECT_FALSE(fake::reg_value(HKEY_CURRENT_USER, kKey, L"Name").has_value());
  expect_no_problems();
}

// ---- register_uninstall -----------------------------------------------------

using RegisterUninstall = FakeWindowsTest;

TEST_F(RegisterUninstall, FirstInstallWritesEightValuesInOrder) {
  ASSERT_TRUE(register_uninstall(installed_paths()));
  EXPECT_EQ(fake::reg_value_names(HKEY_CURRENT_USER, kKey), kNames);
  expect_eight_values();
  // Writing values is all the key is opened for.
  EXPECT_NE(fake::find_call("RegCreateKeyExW",
                            kKeyText + L" access=" + std::to_wstring(KEY_SET_VALUE)),
            -1);
  EXPECT_EQ(count_calls("RegCreateKeyExW"), 1);
  EXPECT_EQ(count_calls("RegCloseKey"), 1);
  EXPECT_NE(fake::find_call("RegCloseKey", kKeyText), -1);
  expect_no_problems();
}

TEST_F(RegisterUninstall, ReinstallOverwritesItsValuesAndKeepsOthers) {
  // An earlier install left every value with other data, plus a foreign one.
  for (size_t i = 0; i < kNames.size(); ++i) {
    if (i == 3) {
      fake::set_reg_sz(HKEY_CURRENT_USER, kKey, L"Other", L"kept");
    }
    if (kNames[i] == L"NoModify" || kNames[i] == L"NoRepair") {
      fake::set_reg_value(HKEY_CURRENT_USER, kKey, kNames[i], REG_DWORD, {0, 0, 0, 0});
    } else {
      fake::set_reg_sz(HKEY_CURRENT_USER, kKey, kNames[i], L"old " + kNames[i]);
    }
  }
  const std::vector<std::wstring> before = fake::reg_value_names(HKEY_CURRENT_USER, kKey);
  ASSERT_TRUE(register_uninstall(installed_paths()));
  expect_eight_values();
  EXPECT_EQ(fake::reg_value_names(HKEY_CURRENT_USER, kKey), before);
  const auto other = fake::reg_value(HKEY_CURRENT_USER, kKey, L"Other");
  ASSERT_TRUE(other.has_value());
  EXPECT_EQ(other->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(other->data, fake::sz_bytes(L"kept"));
  expect_no_problems();
}

TEST_F(RegisterUninstall, FailingCreateWritesNothingAndClosesNothing) {
  fake::fail("RegCreateKeyExW", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(register_uninstall(installed_paths()));
  EXPECT_EQ(count_calls("RegSetValueExW"), 0);
  EXPECT_EQ(count_calls("RegCloseKey"), 0);
  EXPECT_FALSE(fake::reg_key_exists(HKEY_CURRENT_USER, kKey));
  expect_no_problems();
}

TEST_F(RegisterUninstall, FailingThirdWriteStopsAndClosesTheKeyOnce) {
  fake::fail("RegSetValueExW", ERROR_ACCESS_DENIED, 3);
  EXPECT_FALSE(register_uninstall(installed_paths()));
  EXPECT_EQ(fake::reg_value_names(HKEY_CURRENT_USER, kKey),
            (std::vector<std::wstring>{L"DisplayName", L"DisplayVersion"}));
  EXPECT_EQ(count_calls("RegSetValueExW"), 3);
  EXPECT_EQ(count_calls("RegCloseKey"), 1);
  expect_no_problems();
}

// What a registration left, in the words of the oracle below: "no key", or
// the names of the values in the key, in the order written.
std::string registration_left() {
  if (!fake::reg_key_exists(HKEY_CURRENT_USER, kKey)) {
    return "no key";
  }
  std::string left = "key:";
  for (const std::wstring& name : fake::reg_value_names(HKEY_CURRENT_USER, kKey)) {
    left += " " + narrow(name);
  }
  return left;
}

// Each call of a first registration made to fail alone: a failed create or
// write is false and keeps what was written before it; a failed close goes
// unnoticed.
TEST_F(RegisterUninstall, EachFailingCallEndsAsItsOracleRowSays) {
  const std::string kAll =
      "key: DisplayName DisplayVersion Publisher DisplayIcon InstallLocation UninstallString "
      "NoModify NoRepair";
  const std::vector<OracleRow> oracle = {
      {"", L"", 1, true, {}, kAll},
      {"StringCchVPrintfW", L"\"%ls\" --uninstall", 1, false, {}, "no key"},
      {"RegCreateKeyExW", kKeyText + L" access=2", 1, false, {}, "no key"},
      {"RegSetValueExW", L"DisplayName", 1, false, {}, "key:"},
      {"RegSetValueExW", L"DisplayVersion", 1, false, {}, "key: DisplayName"},
      {"RegSetValueExW", L"Publisher", 1, false, {}, "key: DisplayName DisplayVersion"},
      {"RegSetValueExW", L"DisplayIcon", 1, false, {}, "key: DisplayName DisplayVersion Publisher"},
      {"RegSetValueExW", L"InstallLocation", 1, false, {},
       "key: DisplayName DisplayVersion Publisher DisplayIcon"},
      {"RegSetValueExW", L"UninstallString", 1, false, {},
       "key: DisplayName DisplayVersion Publisher DisplayIcon InstallLocation"},
      {"RegSetValueExW", L"NoModify", 1, false, {},
       "key: DisplayName DisplayVersion Publisher DisplayIcon InstallLocation UninstallString"},
      {"RegSetValueExW", L"NoRepair", 1, false, {},
       "key: DisplayName DisplayVersion Publisher DisplayIcon InstallLocation UninstallString "
       "NoModify"},
      // The close is made once and not retried; the fake counts the key open.
      {"RegCloseKey", kKeyText, 1, true, {}, kAll, "never closed"},
  };
  sweep_against(oracle, {[] {}, [] { return register_uninstall(installed_paths()) ? 1 : 0; },
                         registration_left});
}

// The close is attempted once and its result is not part of the answer: the
// eight values are in place, so the registration stands.
TEST_F(RegisterUninstall, FailingCloseIsNotRetried) {
  fake::fail("RegCloseKey", ERROR_INVALID_HANDLE);
  EXPECT_TRUE(register_uninstall(installed_paths()));
  expect_eight_values();
  EXPECT_EQ(count_calls("RegCloseKey"), 1);
  // The fake counts the handle whose close failed as still held; that, and
  // nothing else, is expected here.
  const std::vector<std::string> problems = fake::problems();
  ASSERT_EQ(problems.size(), 1u) << testing::PrintToString(problems);
  EXPECT_NE(problems[0].find("never closed"), std::string::npos) << problems[0];
  fake::reset();  // the provoked leak is this test's subject, not a failure
}

// ---- remove_uninstall_registration ------------------------------------------

using RemoveUninstallRegistration = FakeWindowsTest;

TEST_F(RemoveUninstallRegistration, DeletesTheKey) {
  ASSERT_TRUE(register_uninstall(installed_paths()));
  ASSERT_TRUE(fake::reg_key_exists(HKEY_CURRENT_USER, kKey));
  remove_uninstall_registration();
  EXPECT_FALSE(fake::reg_key_exists(HKEY_CURRENT_USER, kKey));
  EXPECT_NE(fake::find_call("RegDeleteKeyW", kKeyText), -1);
  expect_no_problems();
}

TEST_F(RemoveUninstallRegistration, AbsentKeyIsNoProblem) {
  remove_uninstall_registration();
  EXPECT_FALSE(fake::reg_key_exists(HKEY_CURRENT_USER, kKey));
  EXPECT_EQ(count_calls("RegDeleteKeyW"), 1);
  EXPECT_TRUE(fake::reg_value_names(HKEY_CURRENT_USER, kKey).empty());
  expect_no_problems();
}

}  // namespace
