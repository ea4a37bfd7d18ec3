// The fake Windows itself, where the product's logic leans on it: the length
// and size rules of the text-returning calls, the file and registry rules,
// the accounting of handed-out resources, and fault injection.
#include "tests/fake/fake_test.h"

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

bool has_problem(const std::string& part) {
  for (const std::string& problem : fake::problems()) {
    if (problem.find(part) != std::string::npos) {
      return true;
    }
  }
  return false;
}

const std::wstring kInstallDir = std::wstring(fake::kLocalAppData) + L"\\KORVELA ERP";
const std::wstring kInstallExe = kInstallDir + L"\\KORVELA ERP.exe";
const wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVELA ERP";

HRESULT format(wchar_t* out, size_t capacity, const wchar_t* text, ...) {
  va_list args;
  va_start(args, text);
  const HRESULT result = win::StringCchVPrintfW(out, capacity, text, args);
  va_end(args);
  return result;
}

using FakeWin = FakeWindowsTest;

// ---- Lengths ----------------------------------------------------------------

TEST_F(FakeWin, TextCallsFollowTheirOwnLengthRules) {
  fake::set_module_path(L"C:\\a\\b.exe");  // 10 units
  fake::set_system_dir(L"C:\\sys");        // 6 units
  fake::set_env(L"Korvela_Home", L"D:\\k");  // 4 units
  using Get = std::function<DWORD(wchar_t*, DWORD)>;
  const Get module = [](wchar_t* out, DWORD size) {
    return win::GetModuleFileNameW(nullptr, out, size);
  };
  const Get system = [](wchar_t* out, DWORD size) { return win::GetSystemDirectoryW(out, size); };
  const Get env = [](wchar_t* out, DWORD size) {
    return win::GetEnvironmentVariableW(L"KORVELA_HOME", out, size);
  };
  struct Case {
    const char* name;
    Get get;
    DWORD size;
    DWORD result;
    const wchar_t* text;
  };
  const Case cases[] = {
      {"module path fits", module, 11, 10, L"C:\\a\\b.exe"},
      // A cut module path reports the buffer size, not the size needed.
      {"module path cut", module, 10, 10, L"C:\\a\\b.ex"},
      {"system directory fits", system, 7, 6, L"C:\\sys"},
      {"system directory too long", system, 6, 7, L"untouched"},
      {"variable fits, name in other case", env, 5, 4, L"D:\\k"},
      {"variable too long", env, 4, 5, L"untouched"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    wchar_t buffer[32] = L"untouched";
    EXPECT_EQ(c.get(buffer, c.size), c.result);
    EXPECT_EQ(std::wstring(buffer), c.text);
  }
}

TEST_F(FakeWin, MissingAndEmptyVariablesBothGiveZero) {
  fake::set_env(L"EMPTY", L"");
  wchar_t buffer[8] = L"x";
  EXPECT_EQ(win::GetEnvironmentVariableW(L"MISSING", buffer, 8), 0u);
  EXPECT_EQ(win::GetEnvironmentVariableW(L"empty", buffer, 8), 0u);
}

TEST_F(FakeWin, CommandLineIsTheQuotedSetupPathOrNull) {
  EXPECT_EQ(std::wstring(win::GetCommandLineW()), std::wstring(L"\"") + fake::kSetupPath + L"\"");
  fake::set_command_line(nullptr);
  EXPECT_EQ(win::GetCommandLineW(), nullptr);
}

TEST_F(FakeWin, StringCchVPrintfWFormatsOrRefusesToCut) {
  wchar_t small[8];
  EXPECT_EQ(format(small, 8, L"%ls-%lu", L"ab", 42ul), S_OK);
  EXPECT_EQ(std::wstring(small), L"ab-42");
  EXPECT_EQ(format(small, 8, L"%ls", L"12345678"), HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
}

// ---- Files ------------------------------------------------------------------

TEST_F(FakeWin, CreateDirectoryMakesOneLevelBelowAnExistingDirectory) {
  EXPECT_TRUE(win::CreateDirectoryW(kInstallDir.c_str(), nullptr));
  EXPECT_EQ(win::GetFileAttributesW(kInstallDir.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

  struct Case {
    const char* name;
    std::wstring path;
    DWORD error;
  };
  const Case refused[] = {
      {"directory already there", kInstallDir, ERROR_ALREADY_EXISTS},
      {"file already there", fake::kSetupPath, ERROR_ALREADY_EXISTS},
      {"parent missing", L"C:\\missing\\child", ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : refused) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(win::CreateDirectoryW(c.path.c_str(), nullptr));
    EXPECT_EQ(::GetLastError(), c.error);
  }
  EXPECT_FALSE(fake::is_dir(L"C:\\missing"));
  EXPECT_TRUE(win::CreateDirectoryW(L"D:\\top", nullptr)) << "drive roots always exist";
  EXPECT_EQ(win::GetFileAttributesW(L"C:\\nothing"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(win::GetFileAttributesW(fake::kSetupPath) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST_F(FakeWin, CopyFileHonoursFailIfExistsAndWhatIsInTheWay) {
  enum Target { none, file, in_use_file, directory, no_parent };
  struct Case {
    const char* name;
    Target target;
    BOOL fail_if_exists;
    bool copied;
  };
  const Case cases[] = {
      {"new file", none, TRUE, true},
      {"existing file kept", file, TRUE, false},
      {"existing file replaced", file, FALSE, true},
      {"running program", in_use_file, FALSE, false},
      {"directory in the way", directory, FALSE, false},
      {"parent missing", no_parent, FALSE, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    fake::add_dir(kInstallDir);
    if (c.target == directory) {
      fake::add_dir(kInstallExe);
    } else if (c.target == file || c.target == in_use_file) {
      fake::add_file(kInstallExe, "old");
      fake::set_in_use(kInstallExe, c.target == in_use_file);
    } else if (c.target == no_parent) {
      fake::remove(kInstallDir);
    }
    EXPECT_EQ(win::CopyFileW(fake::kSetupPath, kInstallExe.c_str(), c.fail_if_exists) != FALSE,
              c.copied);
    if (c.copied) {
      EXPECT_EQ(fake::node(kInstallExe)->content, "setup-image");
    } else if (c.target == file || c.target == in_use_file) {
      EXPECT_EQ(fake::node(kInstallExe)->content, "old");
    }
  }
}

TEST_F(FakeWin, MoveFileReplacesOnlyWhenAskedAndNeverARunningProgram) {
  const std::wstring staged = kInstallDir + L"\\new.tmp";
  enum Target { none, file, in_use_file, directory, read_only_file };
  struct Case {
    const char* name;
    Target target;
    DWORD flags;
    DWORD error;  // ERROR_SUCCESS: moved
  };
  const Case cases[] = {
      {"free name", none, 0, ERROR_SUCCESS},
      {"taken name without replace", file, MOVEFILE_WRITE_THROUGH, ERROR_ALREADY_EXISTS},
      {"taken name with replace", file, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH,
       ERROR_SUCCESS},
      {"running program", in_use_file, MOVEFILE_REPLACE_EXISTING, ERROR_ACCESS_DENIED},
      {"directory in the way", directory, MOVEFILE_REPLACE_EXISTING, ERROR_ACCESS_DENIED},
      {"read-only file in the way", read_only_file, MOVEFILE_REPLACE_EXISTING, ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    fake::add_file(staged, "new");
    if (c.target == directory) {
      fake::add_dir(kInstallExe);
    } else if (c.target != none) {
      fake::add_file(kInstallExe, "old",
                     c.target == read_only_file ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
      fake::set_in_use(kInstallExe, c.target == in_use_file);
    }
    const BOOL moved = win::MoveFileExW(staged.c_str(), kInstallExe.c_str(), c.flags);
    const DWORD error = ::GetLastError();
    EXPECT_EQ(moved != FALSE, c.error == ERROR_SUCCESS);
    if (c.error == ERROR_SUCCESS) {
      EXPECT_EQ(fake::node(kInstallExe)->content, "new");
      EXPECT_FALSE(fake::node(staged));
    } else {
      EXPECT_EQ(error, c.error);
      EXPECT_TRUE(fake::is_file(staged));
    }
    EXPECT_GE(fake::find_call("MoveFileExW", kInstallExe + L" flags=" + std::to_wstring(c.flags)),
              0);
  }
}

TEST_F(FakeWin, DeleteFileRefusesWhatWindowsRefuses) {
  fake::add_file(kInstallDir + L"\\plain", "");
  fake::add_file(kInstallDir + L"\\locked", "", FILE_ATTRIBUTE_READONLY);
  fake::add_file(kInstallDir + L"\\running", "");
  fake::set_in_use(kInstallDir + L"\\running", true);
  EXPECT_TRUE(win::DeleteFileW((kInstallDir + L"\\plain").c_str()));
  for (const wchar_t* name : {L"\\locked", L"\\running", L"\\plain", L""}) {
    SCOPED_TRACE(narrow(name));
    EXPECT_FALSE(win::DeleteFileW((kInstallDir + name).c_str()));
  }
  EXPECT_TRUE(fake::is_dir(kInstallDir));
}

TEST_F(FakeWin, StreamsAndAttributesTravelWithTheFileAsOnNtfs) {
  const std::wstring copy = kInstallDir + L"\\copy.tmp";
  fake::add_dir(kInstallDir);
  fake::add_file(fake::kSetupPath, "setup-image", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  fake::add_stream(fake::kSetupPath, L"Zone.Identifier", "ZoneId=3");
  ASSERT_TRUE(win::CopyFileW(fake::kSetupPath, copy.c_str(), TRUE));
  EXPECT_EQ(fake::node(copy)->attributes,
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(fake::node(copy)->streams, (std::map<std::wstring, std::string>{
                                           {L"zone.identifier", "ZoneId=3"}}));
  // A stream answers with its file's attributes; a missing one is missing.
  EXPECT_EQ(win::GetFileAttributesW((copy + L":zone.identifier").c_str()),
            fake::node(copy)->attributes);
  EXPECT_EQ(win::GetFileAttributesW((copy + L":other").c_str()), INVALID_FILE_ATTRIBUTES);

  // The read-only attribute guards the streams too.
  EXPECT_FALSE(win::DeleteFileW((copy + L":Zone.Identifier").c_str()));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(win::SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(fake::node(copy)->attributes, static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
  EXPECT_TRUE(win::DeleteFileW((copy + L":Zone.Identifier:$DATA").c_str()));
  EXPECT_TRUE(fake::node(copy)->streams.empty());
  EXPECT_EQ(fake::node(copy)->content, "setup-image");
  EXPECT_FALSE(win::DeleteFileW((copy + L":Zone.Identifier").c_str()));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(win::DeleteFileW((kInstallDir + L"\\missing:Zone.Identifier").c_str()));

  // A move takes the streams along; the original keeps its own.
  fake::add_stream(copy, L"Other", "x");
  ASSERT_TRUE(win::MoveFileExW(copy.c_str(), kInstallExe.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(fake::node(kInstallExe)->streams.count(L"other"), 1u);
  EXPECT_EQ(fake::node(fake::kSetupPath)->streams.count(L"zone.identifier"), 1u);

  // No attribute at all reads as FILE_ATTRIBUTE_NORMAL; a directory stays one.
  EXPECT_TRUE(win::SetFileAttributesW(kInstallExe.c_str(), 0));
  EXPECT_EQ(fake::node(kInstallExe)->attributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(win::SetFileAttributesW(kInstallDir.c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_TRUE(fake::is_dir(kInstallDir));
  EXPECT_FALSE(win::SetFileAttributesW((kInstallDir + L"\\missing").c_str(), 0));
  EXPECT_GE(fake::find_call("SetFileAttributesW", kInstallExe + L" attributes=0"), 0);
}

// ---- Processes --------------------------------------------------------------

TEST_F(FakeWin, CreateProcessHandsOutTwoHandlesThatMustBeClosedOnce) {
  fake::add_file(kInstallExe, "app");
  wchar_t line[] = L"\"app\" --x";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(win::CreateProcessW(kInstallExe.c_str(), line, nullptr, nullptr, FALSE,
                                  CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr, &startup, &info));
  EXPECT_NE(info.hProcess, nullptr);
  EXPECT_NE(info.hThread, INVALID_HANDLE_VALUE);
  EXPECT_NE(info.hProcess, info.hThread);
  ASSERT_EQ(fake::processes().size(), 1u);
  EXPECT_EQ(fake::processes()[0].working_dir, L"<null>");
  EXPECT_EQ(fake::processes()[0].startup_cb, sizeof(startup));

  EXPECT_TRUE(has_problem("thread handle of process"));
  EXPECT_TRUE(win::CloseHandle(info.hThread));
  EXPECT_TRUE(win::CloseHandle(info.hProcess));
  EXPECT_LT(fake::find_call("CloseHandle", L"thread"), fake::find_call("CloseHandle", L"process"));
  EXPECT_TRUE(fake::problems().empty());

  EXPECT_FALSE(win::CloseHandle(info.hThread));
  EXPECT_TRUE(has_problem("CloseHandle was called twice on the thread handle"));
  fake::clear_problems();
}

TEST_F(FakeWin, CreateProcessNeedsAStartableFile) {
  fake::add_file(kInstallExe, "app");
  fake::set_startable(kInstallExe, false);
  struct Case {
    const char* name;
    std::wstring application;
    DWORD error;
  };
  const Case cases[] = {
      {"missing", kInstallDir + L"\\none.exe", ERROR_FILE_NOT_FOUND},
      {"not a program", kInstallExe, ERROR_BAD_EXE_FORMAT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    wchar_t line[] = L"x";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    EXPECT_FALSE(win::CreateProcessW(c.application.c_str(), line, nullptr, nullptr, FALSE, 0,
                                     nullptr, nullptr, &startup, &info));
    EXPECT_EQ(::GetLastError(), c.error);
  }
  EXPECT_TRUE(fake::processes().empty());
}

// ---- Registry ---------------------------------------------------------------

TEST_F(FakeWin, RegGetValueAdmitsOnlyTheAskedTypeAndSizesWithTheTerminator) {
  const wchar_t key[] = L"Software\\Edge";
  fake::set_reg_sz(HKEY_CURRENT_USER, key, L"", L"C:\\e.exe");  // 9 units with the NUL: 18 bytes
  fake::set_reg_value(HKEY_CURRENT_USER, key, L"Bare", REG_SZ, {'a', 0, 'b', 0});
  fake::set_reg_value(HKEY_CURRENT_USER, key, L"Number", REG_DWORD, {1, 0, 0, 0});
  struct Case {
    const char* name;
    const wchar_t* value;
    bool with_data;
    DWORD bytes;
    LSTATUS status;
    DWORD bytes_after;
  };
  const Case cases[] = {
      {"size query", nullptr, false, 0, ERROR_SUCCESS, 18},
      {"exact buffer", nullptr, true, 18, ERROR_SUCCESS, 18},
      {"buffer one unit short", nullptr, true, 16, ERROR_MORE_DATA, 18},
      {"unterminated data needs a terminator more", L"Bare", true, 4, ERROR_MORE_DATA, 6},
      {"unterminated data is terminated", L"Bare", true, 6, ERROR_SUCCESS, 6},
      {"other type refused", L"Number", true, 64, ERROR_UNSUPPORTED_TYPE, 64},
      {"missing value", L"None", true, 64, ERROR_FILE_NOT_FOUND, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    wchar_t data[32];
    std::fill(std::begin(data), std::end(data), L'?');
    DWORD bytes = c.bytes;
    EXPECT_EQ(win::RegGetValueW(HKEY_CURRENT_USER, key, c.value, RRF_RT_REG_SZ, nullptr,
                                c.with_data ? data : nullptr, &bytes),
              c.status);
    EXPECT_EQ(bytes, c.bytes_after);
    if (c.with_data && c.status == ERROR_SUCCESS) {
      EXPECT_EQ(data[bytes / 2 - 1], L'\0');
    }
  }
  DWORD bytes = 64;
  wchar_t data[32];
  EXPECT_EQ(win::RegGetValueW(HKEY_LOCAL_MACHINE, key, nullptr, RRF_RT_REG_SZ, nullptr, data,
                              &bytes),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(FakeWin, RegSetValueKeepsTheFirstWriteOrderAndOverwritesInPlace) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(win::RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, nullptr, 0, KEY_SET_VALUE,
                                 nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  EXPECT_GE(fake::find_call("RegCreateKeyExW", std::wstring(L"HKCU\\") + kUninstallKey +
                                                   L" access=" + std::to_wstring(KEY_SET_VALUE)),
            0);
  const std::vector<BYTE> one = fake::sz_bytes(L"1");
  const std::vector<BYTE> two = fake::sz_bytes(L"22");
  for (const auto& write : {std::make_pair(L"DisplayName", &one), std::make_pair(L"Publisher", &one),
                            std::make_pair(L"displayname", &two)}) {
    EXPECT_EQ(win::RegSetValueExW(key, write.first, 0, REG_SZ, write.second->data(),
                                  static_cast<DWORD>(write.second->size())),
              ERROR_SUCCESS);
  }
  EXPECT_EQ(fake::reg_value_names(HKEY_CURRENT_USER, kUninstallKey),
            (std::vector<std::wstring>{L"DisplayName", L"Publisher"}));
  EXPECT_EQ(fake::sz_text(*fake::reg_value(HKEY_CURRENT_USER, kUninstallKey, L"DisplayName")),
            L"22");
  EXPECT_TRUE(fake::reg_key_exists(HKEY_CURRENT_USER, L"Software\\Microsoft"));

  EXPECT_TRUE(has_problem("was never closed with RegCloseKey"));
  EXPECT_EQ(win::RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(win::RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  EXPECT_TRUE(fake::problems().empty());
  EXPECT_EQ(win::RegSetValueExW(key, L"Late", 0, REG_SZ, one.data(), 4), ERROR_INVALID_HANDLE);
  EXPECT_EQ(win::RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(has_problem("RegCloseKey was called twice"));
  fake::clear_problems();
}

TEST_F(FakeWin, RegSetValueNeedsTheSetValueRight) {
  HKEY key = nullptr;
  ASSERT_EQ(win::RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, nullptr, 0, KEY_READ,
                                 nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const BYTE data[] = {0, 0};
  EXPECT_EQ(win::RegSetValueExW(key, L"X", 0, REG_SZ, data, 2), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(fake::reg_value_names(HKEY_CURRENT_USER, kUninstallKey).empty());
  win::RegCloseKey(key);
}

TEST_F(FakeWin, RegDeleteKeyRemovesOnlyALeafKey) {
  fake::set_reg_sz(HKEY_CURRENT_USER, L"A\\B", L"v", L"x");
  EXPECT_EQ(win::RegDeleteKeyW(HKEY_CURRENT_USER, L"A"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(win::RegDeleteKeyW(HKEY_CURRENT_USER, L"a\\b"), ERROR_SUCCESS);
  EXPECT_FALSE(fake::reg_value(HKEY_CURRENT_USER, L"A\\B", L"v"));
  EXPECT_EQ(win::RegDeleteKeyW(HKEY_CURRENT_USER, L"A\\B"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(win::RegDeleteKeyW(HKEY_CURRENT_USER, L"A"), ERROR_SUCCESS);
}

// ---- Known folders ----------------------------------------------------------

TEST_F(FakeWin, KnownFolderBlocksAreAccountedFor) {
  PWSTR block = nullptr;
  ASSERT_EQ(win::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &block), S_OK);
  EXPECT_EQ(std::wstring(block), fake::kLocalAppData);
  EXPECT_TRUE(has_problem("block for LocalAppData"));  // not freed yet
  win::CoTaskMemFree(block);
  win::CoTaskMemFree(nullptr);
  EXPECT_TRUE(fake::problems().empty());

  win::CoTaskMemFree(block);
  EXPECT_TRUE(has_problem("freed twice"));
  int not_handed_out = 0;
  win::CoTaskMemFree(&not_handed_out);
  EXPECT_TRUE(has_problem("never handed out"));
  fake::clear_problems();
}

TEST_F(FakeWin, KnownFolderAnswersCanBeScriptedOrFaulted) {
  PWSTR block = reinterpret_cast<PWSTR>(1);
  fake::fail("SHGetKnownFolderPath", E_FAIL, 1);
  EXPECT_EQ(win::SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &block), E_FAIL);
  EXPECT_EQ(block, nullptr);
  EXPECT_GE(fake::find_call("SHGetKnownFolderPath", L"Desktop"), 0);

  // A failure that still hands back a block: the block is the caller's to free.
  fake::set_known_folder_answer(FOLDERID_Programs, E_FAIL, true);
  EXPECT_EQ(win::SHGetKnownFolderPath(FOLDERID_Programs, 0, nullptr, &block), E_FAIL);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::wstring(block), fake::kPrograms);
  win::CoTaskMemFree(block);

  fake::remove_known_folder(FOLDERID_Desktop);
  EXPECT_EQ(win::SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &block), E_INVALIDARG);
  EXPECT_EQ(block, nullptr);
}

TEST_F(FakeWin, KnownFolderCreateFlagMakesTheFolder) {
  fake::remove(fake::kPrograms);
  PWSTR block = nullptr;
  ASSERT_EQ(win::SHGetKnownFolderPath(FOLDERID_Programs, 0, nullptr, &block), S_OK);
  win::CoTaskMemFree(block);
  EXPECT_FALSE(fake::is_dir(fake::kPrograms));
  ASSERT_EQ(win::SHGetKnownFolderPath(FOLDERID_Programs, KF_FLAG_CREATE, nullptr, &block), S_OK);
  win::CoTaskMemFree(block);
  EXPECT_TRUE(fake::is_dir(fake::kPrograms));
}

// ---- COM --------------------------------------------------------------------

class FakeCom : public FakeWindowsTest {
 protected:
  IShellLinkW* create() {
    IShellLinkW* link = nullptr;
    EXPECT_EQ(win::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IShellLinkW, reinterpret_cast<void**>(&link)),
              S_OK);
    return link;
  }
};

TEST_F(FakeCom, ApartmentDepthAndCreationNeedInitialisation) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(win::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  &object),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(win::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(win::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
  EXPECT_EQ(fake::com_depth(), 2);
  win::CoUninitialize();
  EXPECT_TRUE(has_problem("more time(s) than CoUninitialize"));
  win::CoUninitialize();
  EXPECT_TRUE(fake::problems().empty());
  win::CoUninitialize();
  EXPECT_TRUE(has_problem("without a matching CoInitializeEx"));
  fake::clear_problems();
}

TEST_F(FakeCom, ReferencesAreCountedAcrossBothInterfaces) {
  win::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkW* link = create();
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(fake::last_cocreate_context(), static_cast<DWORD>(CLSCTX_INPROC_SERVER));
  IPersistFile* file = nullptr;
  ASSERT_EQ(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), S_OK);
  EXPECT_EQ(link->Release(), 1u);
  EXPECT_TRUE(has_problem("Shell Link object #1 still holds 1 reference"));
  EXPECT_EQ(file->Release(), 0u);
  EXPECT_FALSE(has_problem("Shell Link object"));
  EXPECT_GE(fake::find_call("IUnknown::Release", L"IPersistFile"), 0);

  file->Release();
  EXPECT_TRUE(has_problem("below zero"));
  fake::clear_problems();
  win::CoUninitialize();
}

TEST_F(FakeCom, AFailedQueryMayStillHandBackAReference) {
  win::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkW* link = create();
  fake::fail_usual("IShellLinkW::QueryInterface");
  IPersistFile* file = reinterpret_cast<IPersistFile*>(1);
  EXPECT_EQ(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), E_FAIL);
  EXPECT_EQ(file, nullptr);

  fake::set_failed_query_hands_back_object(true);
  EXPECT_EQ(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), E_FAIL);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->Release(), 1u);
  EXPECT_EQ(link->Release(), 0u);
  win::CoUninitialize();
}

TEST_F(FakeCom, SaveWritesTheLinkBelowAnExistingFolder) {
  win::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkW* link = create();
  EXPECT_EQ(link->SetPath(kInstallExe.c_str()), S_OK);
  EXPECT_EQ(link->SetIconLocation(kInstallExe.c_str(), 0), S_OK);
  EXPECT_EQ(link->SetArguments(L"x"), E_NOTIMPL);
  IPersistFile* file = nullptr;
  ASSERT_EQ(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), S_OK);
  const std::wstring shortcut = std::wstring(fake::kDesktop) + L"\\KORVELA ERP.lnk";
  EXPECT_EQ(file->Save(L"C:\\missing\\KORVELA ERP.lnk", TRUE),
            HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(file->Save(shortcut.c_str(), TRUE), S_OK);
  file->Release();
  link->Release();
  win::CoUninitialize();

  ASSERT_EQ(fake::saves().size(), 1u);
  const fake::Link& saved = fake::saves()[0].link;
  EXPECT_EQ(saved.setters, (std::vector<std::string>{"SetPath", "SetIconLocation"}));
  EXPECT_EQ(fake::node(shortcut)->content, fake::link_content(saved));
}

// ---- Message boxes ----------------------------------------------------------

TEST_F(FakeWin, BoxesAnswerFromTheScriptThenWithTheirDefaultButton) {
  struct Case {
    const char* name;
    UINT style;
    int answer;
  };
  const Case cases[] = {
      {"ok", MB_ICONERROR, IDOK},
      {"ok/cancel", MB_OKCANCEL, IDOK},
      {"ok/cancel, second default", MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
      {"yes/no", MB_YESNO | MB_ICONQUESTION, IDYES},
      {"yes/no, second default", MB_YESNO | MB_DEFBUTTON2, IDNO},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(win::MessageBoxW(nullptr, L"text", L"KORVELA ERP", c.style), c.answer);
  }
  fake::answer_boxes({IDNO});
  EXPECT_EQ(win::MessageBoxW(nullptr, L"first", L"KORVELA ERP", MB_YESNO), IDNO);
  EXPECT_EQ(win::MessageBoxW(nullptr, L"second", L"KORVELA ERP", MB_YESNO), IDYES);
  EXPECT_EQ(fake::boxes().back().text, L"second");
}

// ---- Faults, the log and snapshots -------------------------------------------

TEST_F(FakeWin, FaultsCountCallsFromTheMomentTheyAreSet) {
  const std::wstring a = kInstallDir + L"\\a";
  const std::wstring b = kInstallDir + L"\\b";
  EXPECT_TRUE(win::CreateDirectoryW(kInstallDir.c_str(), nullptr));  // before: not counted
  fake::fail_usual("CreateDirectoryW", 2);
  EXPECT_TRUE(win::CreateDirectoryW(a.c_str(), nullptr));
  EXPECT_FALSE(win::CreateDirectoryW(b.c_str(), nullptr));
  EXPECT_FALSE(fake::is_dir(b)) << "a failed call changes nothing";
  EXPECT_TRUE(win::CreateDirectoryW(b.c_str(), nullptr));
  ASSERT_EQ(fake::calls().size(), 4u);
  EXPECT_TRUE(fake::calls()[2].failed);
  EXPECT_EQ(fake::calls()[2].detail, b);

  fake::fail("RegSetValueExW", ERROR_OUTOFMEMORY);  // every call
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(win::RegSetValueExW(HKEY_CURRENT_USER, L"v", 0, REG_SZ, nullptr, 0),
              ERROR_OUTOFMEMORY);
  }
  fake::clear_faults();
  EXPECT_EQ(win::RegSetValueExW(HKEY_CURRENT_USER, L"v", 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
}

TEST_F(FakeWin, UsualFailureResultsAndOperationsThatCannotFail) {
  EXPECT_EQ(fake::failure_result("GetFileAttributesW"),
            static_cast<long long>(INVALID_FILE_ATTRIBUTES));
  EXPECT_EQ(fake::failure_result("RegCreateKeyExW"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(fake::failure_result("IPersistFile::Save"), E_FAIL);
  EXPECT_FALSE(fake::failure_result("CoTaskMemFree").has_value());
  EXPECT_FALSE(fake::failure_result("wcscmp").has_value());
  fake::fail_usual("CreateDirectory");  // misspelt
  EXPECT_TRUE(has_problem("not an operation of the fake"));
  fake::clear_problems();
}

TEST_F(FakeWin, TheHookSeesEachCallAfterItTookEffect) {
  std::vector<bool> existed;
  fake::set_after_call([&](size_t index) {
    EXPECT_EQ(index, fake::calls().size() - 1);
    existed.push_back(fake::is_dir(kInstallDir));
  });
  win::GetFileAttributesW(kInstallDir.c_str());
  win::CreateDirectoryW(kInstallDir.c_str(), nullptr);
  EXPECT_EQ(existed, (std::vector<bool>{false, true}));
}

TEST_F(FakeWin, RestoreWorldBringsBackFilesRegistryFoldersAndEnvironment) {
  const std::shared_ptr<fake::World> before = fake::save_world();
  fake::add_file(kInstallExe, "app");
  fake::set_reg_sz(HKEY_CURRENT_USER, kUninstallKey, L"DisplayName", L"KORVELA ERP");
  fake::remove_known_folder(FOLDERID_Desktop);
  fake::set_env(L"X", L"1");
  fake::restore_world(before);
  EXPECT_FALSE(fake::is_file(kInstallExe));
  EXPECT_FALSE(fake::reg_key_exists(HKEY_CURRENT_USER, kUninstallKey));
  EXPECT_EQ(win::GetEnvironmentVariableW(L"X", nullptr, 0), 0u);
  PWSTR block = nullptr;
  EXPECT_EQ(win::SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &block), S_OK);
  win::CoTaskMemFree(block);
}

}  // namespace
