// What the launcher's logic relies on of each Windows operation, as one table
// of cases that runs against the fake (contract_fake) and against Windows
// itself under Wine (contract_real). Where the two may differ, the case says so.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win.h"
#include "tests/contract/backend.h"

namespace {

class Contract : public ::testing::Test {
 protected:
  void SetUp() override { backend::set_up(); }
  void TearDown() override { backend::tear_down(); }
  std::wstring at(const wchar_t* name) { return backend::root() + L"\\" + name; }
};

std::vector<BYTE> sz(const std::wstring& text) {
  const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
  return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

// STRSAFE_E_INSUFFICIENT_BUFFER, without pulling strsafe.h into the tests.
const HRESULT kInsufficientBuffer = static_cast<HRESULT>(0x8007007AL);

const wchar_t kKey[] = L"Software\\KorvelaContract\\Case";

HRESULT print(wchar_t* out, size_t capacity, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const HRESULT result = win::StringCchVPrintfW(out, capacity, format, args);
  va_end(args);
  return result;
}

TEST_F(Contract, AttributesTellFilesFromDirectoriesAndMissingPaths) {
  backend::make_dir(at(L"folder"));
  backend::make_file(at(L"hidden.txt"), "x", FILE_ATTRIBUTE_HIDDEN);
  backend::make_file(at(L"readonly.txt"), "x", FILE_ATTRIBUTE_READONLY);
  struct Case { const wchar_t* name; bool directory_bit; bool invalid; };
  const Case cases[] = {
      {L"missing", true, true},  // INVALID_FILE_ATTRIBUTES has every bit set
      {L"folder", true, false},
      {L"hidden.txt", false, false},
      {L"readonly.txt", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
    const DWORD attributes = win::GetFileAttributesW(at(c.name).c_str());
    EXPECT_EQ(attributes == INVALID_FILE_ATTRIBUTES, c.invalid);
    EXPECT_EQ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0, c.directory_bit);
  }
}

TEST_F(Contract, CreateDirectorySucceedsOnlyWhenItCreatedOneLevel) {
  backend::make_dir(at(L"existing"));
  backend::make_file(at(L"file"), "x", FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(win::CreateDirectoryW(at(L"new").c_str(), nullptr));
  EXPECT_FALSE(win::CreateDirectoryW(at(L"existing").c_str(), nullptr));
  EXPECT_FALSE(win::CreateDirectoryW(at(L"file").c_str(), nullptr));
  EXPECT_FALSE(win::CreateDirectoryW(at(L"missing\\child").c_str(), nullptr));
  EXPECT_EQ(win::GetFileAttributesW(at(L"missing").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Contract, CopyWithFailIfExistsNeverOverwrites) {
  backend::make_file(at(L"from"), "new", FILE_ATTRIBUTE_NORMAL);
  backend::make_file(at(L"to"), "old", FILE_ATTRIBUTE_NORMAL);
  EXPECT_FALSE(win::CopyFileW(at(L"from").c_str(), at(L"to").c_str(), TRUE));
  EXPECT_EQ(backend::file_content(at(L"to")), "old");
  EXPECT_TRUE(win::CopyFileW(at(L"from").c_str(), at(L"copy").c_str(), TRUE));
  EXPECT_EQ(backend::file_content(at(L"copy")), "new");
}

TEST_F(Contract, MoveReplacesAnExistingFileOnlyWhenAskedTo) {
  backend::make_file(at(L"from"), "new", FILE_ATTRIBUTE_NORMAL);
  backend::make_file(at(L"to"), "old", FILE_ATTRIBUTE_NORMAL);
  EXPECT_FALSE(win::MoveFileExW(at(L"from").c_str(), at(L"to").c_str(), MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(backend::file_content(at(L"to")), "old");
  EXPECT_TRUE(win::MoveFileExW(at(L"from").c_str(), at(L"to").c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(backend::file_content(at(L"to")), "new");
  EXPECT_EQ(win::GetFileAttributesW(at(L"from").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Contract, DeleteFileRefusesMissingPathsAndDirectories) {
  backend::make_dir(at(L"folder"));
  backend::make_file(at(L"file"), "x", FILE_ATTRIBUTE_NORMAL);
  EXPECT_FALSE(win::DeleteFileW(at(L"missing").c_str()));
  EXPECT_FALSE(win::DeleteFileW(at(L"folder").c_str()));
  EXPECT_TRUE(win::DeleteFileW(at(L"file").c_str()));
  EXPECT_EQ(win::GetFileAttributesW(at(L"file").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Contract, CopiesKeepTheReadOnlyAttributeUntilItIsCleared) {
  backend::make_file(at(L"from"), "x", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  ASSERT_TRUE(win::CopyFileW(at(L"from").c_str(), at(L"copy").c_str(), TRUE));
  const DWORD copied = win::GetFileAttributesW(at(L"copy").c_str());
  EXPECT_NE(copied & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_NE(copied & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_FALSE(win::DeleteFileW(at(L"copy").c_str()));
  EXPECT_TRUE(win::SetFileAttributesW(at(L"copy").c_str(), copied & ~FILE_ATTRIBUTE_READONLY));
  const DWORD cleared = win::GetFileAttributesW(at(L"copy").c_str());
  EXPECT_EQ(cleared & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_NE(cleared & FILE_ATTRIBUTE_HIDDEN, 0u);
  // No attribute left is spelled FILE_ATTRIBUTE_NORMAL. (Wine then reports
  // FILE_ATTRIBUTE_ARCHIVE, Windows FILE_ATTRIBUTE_NORMAL.)
  EXPECT_TRUE(win::SetFileAttributesW(at(L"copy").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(win::GetFileAttributesW(at(L"copy").c_str()) &
                (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY),
            0u);
  EXPECT_FALSE(win::SetFileAttributesW(at(L"missing").c_str(), FILE_ATTRIBUTE_NORMAL));
}

TEST_F(Contract, ReplacingAReadOnlyFileIsRefused) {
  backend::make_file(at(L"from"), "new", FILE_ATTRIBUTE_NORMAL);
  backend::make_file(at(L"to"), "old", FILE_ATTRIBUTE_READONLY);
  const BOOL moved = win::MoveFileExW(at(L"from").c_str(), at(L"to").c_str(),
                                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (backend::is_fake()) {
    // Windows refuses to replace a read-only file, whatever the flags.
    EXPECT_FALSE(moved);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(backend::file_content(at(L"to")), "old");
  } else {
    // Wine replaces it: a difference that only the fake can show.
    EXPECT_TRUE(moved);
    EXPECT_EQ(backend::file_content(at(L"to")), "new");
  }
}

TEST_F(Contract, NamedStreamsTravelWithTheFileAndDeleteOneByOne) {
  backend::make_file(at(L"setup.exe"), "image", FILE_ATTRIBUTE_NORMAL);
  backend::make_stream(at(L"setup.exe"), L"Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3\r\n");
  ASSERT_TRUE(win::CopyFileW(at(L"setup.exe").c_str(), at(L"copy.exe").c_str(), TRUE));
  ASSERT_TRUE(win::MoveFileExW(at(L"copy.exe").c_str(), at(L"moved.exe").c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  const std::wstring mark = at(L"moved.exe:Zone.Identifier");
  if (backend::is_fake()) {
    // On NTFS the copy and the move carry the download mark along; deleting
    // "<file>:<stream>" removes that stream alone, once.
    EXPECT_NE(win::GetFileAttributesW(mark.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(win::DeleteFileW(mark.c_str()));
  }
  // Wine keeps no streams: "setup.exe:Zone.Identifier" is a file of its own,
  // which neither the copy nor the move took along.
  EXPECT_EQ(win::GetFileAttributesW(mark.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(win::DeleteFileW(mark.c_str()));
  EXPECT_EQ(backend::file_content(at(L"moved.exe")), "image");
  // The original's mark goes by the same call, in both.
  EXPECT_TRUE(win::DeleteFileW(at(L"setup.exe:Zone.Identifier").c_str()));
  EXPECT_FALSE(win::DeleteFileW(at(L"setup.exe:Zone.Identifier").c_str()));
  EXPECT_EQ(backend::file_content(at(L"setup.exe")), "image");
}

TEST_F(Contract, EnvironmentLengthsFollowTheSizeRule) {
  struct Case { const char* name; size_t units; DWORD expected; };
  const Case cases[] = {
      {"fits with its terminator", 1023, 1023},
      {"one unit too long: the size needed", 1024, 1025},
      {"short", 3, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    backend::set_env(L"KORVELA_CONTRACT", std::wstring(c.units, L'v'));
    wchar_t out[1024];
    EXPECT_EQ(win::GetEnvironmentVariableW(L"KORVELA_CONTRACT", out, 1024), c.expected);
  }
  wchar_t out[1024];
  EXPECT_EQ(win::GetEnvironmentVariableW(L"KORVELA_CONTRACT_UNSET", out, 1024), 0u);
}

TEST_F(Contract, ModuleAndSystemPathsReportCutTextsAsFailures) {
  wchar_t out[1024];
  const DWORD full = win::GetModuleFileNameW(nullptr, out, 1024);
  EXPECT_GE(full, 1u);
  EXPECT_LE(full, 1023u);
  // Too small: the module path is cut and the result is the buffer size, which
  // the length rule refuses. Windows terminates the cut text; Wine leaves it
  // unterminated. The logic never reads a cut path, so either will do.
  EXPECT_EQ(win::GetModuleFileNameW(nullptr, out, 4), 4u);
  if (backend::is_fake()) {
    EXPECT_EQ(out[3], L'\0');
  }

  const UINT system = win::GetSystemDirectoryW(out, 1024);
  EXPECT_GE(system, 1u);
  EXPECT_LE(system, 1023u);
  // Too small: the size needed, terminator included.
  EXPECT_EQ(win::GetSystemDirectoryW(out, 3), system + 1);
}

TEST_F(Contract, RegGetValueAdmitsOnlyStringsThatFit) {
  backend::put_value(kKey, L"", REG_SZ, sz(L"C:\\x\\msedge.exe"));
  backend::put_value(kKey, L"number", REG_DWORD, {1, 0, 0, 0});
  wchar_t out[1024];
  DWORD bytes = sizeof(out);
  EXPECT_EQ(win::RegGetValueW(HKEY_CURRENT_USER, kKey, nullptr, RRF_RT_REG_SZ, nullptr, out,
                              &bytes),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(out), L"C:\\x\\msedge.exe");
  EXPECT_EQ(bytes, (15u + 1u) * 2u);

  bytes = 8;  // four units: too small
  EXPECT_EQ(win::RegGetValueW(HKEY_CURRENT_USER, kKey, nullptr, RRF_RT_REG_SZ, nullptr, out,
                              &bytes),
            ERROR_MORE_DATA);

  bytes = sizeof(out);
  EXPECT_NE(win::RegGetValueW(HKEY_CURRENT_USER, kKey, L"number", RRF_RT_REG_SZ, nullptr, out,
                              &bytes),
            ERROR_SUCCESS);
  bytes = sizeof(out);
  EXPECT_EQ(win::RegGetValueW(HKEY_CURRENT_USER, kKey, L"absent", RRF_RT_REG_SZ, nullptr, out,
                              &bytes),
            ERROR_FILE_NOT_FOUND);
}

// The browser's registered path is read with RRF_RT_REG_SZ alone. A value of
// another type is refused by the query itself even when its bytes are the
// UTF-16 path of an existing file, as admitting any type would show.
TEST_F(Contract, RegGetValueRefusesOtherTypesWhoseBytesNameAnExistingFile) {
  const std::wstring file = at(L"msedge.exe");
  backend::make_file(file, "x", FILE_ATTRIBUTE_NORMAL);
  std::vector<BYTE> list = sz(file);
  list.insert(list.end(), {0, 0});
  struct Case { const char* name; DWORD type; std::vector<BYTE> data; };
  const Case cases[] = {
      {"REG_BINARY holding the path and its terminator", REG_BINARY, sz(file)},
      {"REG_MULTI_SZ holding the path", REG_MULTI_SZ, list},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    backend::put_value(kKey, L"", c.type, c.data);
    wchar_t out[1024];
    DWORD bytes = sizeof(out);
    EXPECT_EQ(win::RegGetValueW(HKEY_CURRENT_USER, kKey, nullptr, RRF_RT_REG_SZ, nullptr, out,
                                &bytes),
              ERROR_UNSUPPORTED_TYPE);
    bytes = sizeof(out);
    DWORD type = REG_NONE;
    ASSERT_EQ(win::RegGetValueW(HKEY_CURRENT_USER, kKey, nullptr, RRF_RT_ANY, &type, out,
                                &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(bytes, c.data.size());
    EXPECT_EQ(std::wstring(out), file);
    EXPECT_EQ(win::GetFileAttributesW(out) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  }
}

TEST_F(Contract, RegGetValueReadsExpandableStringsExpandedAsPlainStrings) {
  backend::set_env(L"KORVELA_CONTRACT_DIR", backend::root());
  const std::wstring file = at(L"msedge.exe");
  backend::make_file(file, "x", FILE_ATTRIBUTE_NORMAL);
  backend::put_value(kKey, L"", REG_EXPAND_SZ, sz(L"%KORVELA_CONTRACT_DIR%\\msedge.exe"));
  wchar_t out[1024];
  DWORD bytes = sizeof(out);
  DWORD type = REG_NONE;
  ASSERT_EQ(win::RegGetValueW(HKEY_CURRENT_USER, kKey, nullptr, RRF_RT_REG_SZ, &type, out, &bytes),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::wstring(out), file);
  EXPECT_EQ(bytes, (file.size() + 1) * sizeof(wchar_t));
  // Unexpanded, the stored type shows and RRF_RT_REG_SZ refuses it.
  bytes = sizeof(out);
  EXPECT_EQ(win::RegGetValueW(HKEY_CURRENT_USER, kKey, nullptr, RRF_RT_REG_SZ | RRF_NOEXPAND,
                              nullptr, out, &bytes),
            ERROR_UNSUPPORTED_TYPE);
}

TEST_F(Contract, CreatedKeysTakeValuesAndDeleteOnlyWithoutSubkeys) {
  HKEY key = nullptr;
  ASSERT_EQ(win::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::vector<BYTE> data = sz(L"KORVELA ERP");
  EXPECT_EQ(win::RegSetValueExW(key, L"DisplayName", 0, REG_SZ, data.data(),
                                static_cast<DWORD>(data.size())),
            ERROR_SUCCESS);
  EXPECT_EQ(win::RegCloseKey(key), ERROR_SUCCESS);

  wchar_t out[64];
  DWORD bytes = sizeof(out);
  EXPECT_EQ(win::RegGetValueW(HKEY_CURRENT_USER, kKey, L"DisplayName", RRF_RT_REG_SZ, nullptr,
                              out, &bytes),
            ERROR_SUCCESS);
  EXPECT_EQ(bytes, data.size());

  // The parent has a subkey now: RegDeleteKeyW cannot remove it.
  EXPECT_NE(win::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\KorvelaContract"), ERROR_SUCCESS);
  EXPECT_EQ(win::RegDeleteKeyW(HKEY_CURRENT_USER, kKey), ERROR_SUCCESS);
  EXPECT_NE(win::RegDeleteKeyW(HKEY_CURRENT_USER, kKey), ERROR_SUCCESS);
  EXPECT_EQ(win::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\KorvelaContract"), ERROR_SUCCESS);
}

TEST_F(Contract, BoundedFormattingKeepsExactFitsAndRefusesLongerTexts) {
  struct Case { const char* name; size_t capacity; size_t units; bool fits; };
  const Case cases[] = {
      {"path of 1023 units", 1024, 1023, true},
      {"path of 1024 units", 1024, 1024, false},
      {"command of 4095 units", 4096, 4095, true},
      {"command of 4096 units", 4096, 4096, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring text(c.units - 1, L'a');
    std::vector<wchar_t> out(c.capacity, L'#');
    const HRESULT result = print(out.data(), c.capacity, L"%ls\\", text.c_str());
    EXPECT_EQ(SUCCEEDED(result), c.fits);
    if (c.fits) {
      EXPECT_EQ(std::wstring(out.data()), text + L"\\");
    } else {
      EXPECT_EQ(result, kInsufficientBuffer);
      EXPECT_EQ(out[c.capacity - 1], L'\0');
    }
  }
  wchar_t out[1024];
  ASSERT_TRUE(SUCCEEDED(print(out, 1024, L"%ls\\KORVELA ERP-%lu.tmp", L"C:\\a\\", 4294967295ul)));
  EXPECT_EQ(std::wstring(out), L"C:\\a\\\\KORVELA ERP-4294967295.tmp");
}

TEST_F(Contract, OrdinalComparisonIgnoresCaseOnly) {
  EXPECT_EQ(win::CompareStringOrdinal(L"C:\\Users\\A\\KORVELA ERP.exe", -1,
                                      L"c:\\users\\a\\korvela erp.EXE", -1, TRUE),
            CSTR_EQUAL);
  EXPECT_NE(win::CompareStringOrdinal(L"C:\\Users\\A\\KORVELA~1.EXE", -1,
                                      L"C:\\Users\\A\\KORVELA ERP.exe", -1, TRUE),
            CSTR_EQUAL);
}

TEST_F(Contract, ProcessCreationFailsWithNothingToCloseForAMissingProgram) {
  const std::wstring program = at(L"missing.exe");
  std::wstring line = L"\"" + program + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  EXPECT_FALSE(win::CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0,
                                   nullptr, backend::root().c_str(), &startup, &process));
  EXPECT_EQ(process.hProcess, nullptr);
  EXPECT_EQ(process.hThread, nullptr);
}

TEST_F(Contract, KnownFolderBlocksAreHandedOutAndFreed) {
  PWSTR block = nullptr;
  ASSERT_TRUE(SUCCEEDED(win::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &block)));
  ASSERT_NE(block, nullptr);
  EXPECT_NE(win::GetFileAttributesW(block) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  win::CoTaskMemFree(block);
  win::CoTaskMemFree(nullptr);  // allowed, and done by the logic after a failed lookup
}

}  // namespace
