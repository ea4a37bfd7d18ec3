// The shortcut and the uninstall registration written through Windows' own
// Shell Link object and registry (under Wine): read back through the same
// interfaces, and the link file copied out for an independent reader.
//   shell_link_real <unix path to copy the saved link to>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/constants.h"
#include "setup/registration.h"
#include "setup/shortcut.h"

namespace {

std::wstring g_copy_to;

std::wstring known(REFKNOWNFOLDERID id) {
  PWSTR block = nullptr;
  std::wstring path;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &block))) path = block;
  ::CoTaskMemFree(block);
  return path;
}

TEST(ShellLinkUnderWine, SavedShortcutReadsBackWithTheFourProperties) {
  ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  const std::wstring target = known(FOLDERID_LocalAppData) + L"\\KORVELA ERP\\KORVELA ERP.exe";
  const std::wstring dir = known(FOLDERID_LocalAppData) + L"\\KORVELA ERP";
  ASSERT_TRUE(create_shortcut(FOLDERID_Desktop, target.c_str(), dir.c_str()));
  // Saved again at the same path: still one file.
  ASSERT_TRUE(create_shortcut(FOLDERID_Desktop, target.c_str(), dir.c_str()));
  const std::wstring link_file = known(FOLDERID_Desktop) + L"\\KORVELA ERP.lnk";

  IShellLinkW* link = nullptr;
  ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IShellLinkW, reinterpret_cast<void**>(&link))));
  IPersistFile* file = nullptr;
  ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
  ASSERT_TRUE(SUCCEEDED(file->Load(link_file.c_str(), STGM_READ)));
  wchar_t text[MAX_PATH * 2] = {};
  WIN32_FIND_DATAW found;
  EXPECT_TRUE(SUCCEEDED(link->GetPath(text, MAX_PATH * 2, &found, SLGP_RAWPATH)));
  EXPECT_EQ(std::wstring(text), target);
  EXPECT_TRUE(SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH * 2)));
  EXPECT_EQ(std::wstring(text), dir);
  EXPECT_TRUE(SUCCEEDED(link->GetDescription(text, MAX_PATH * 2)));
  EXPECT_EQ(std::wstring(text), L"打开 KORVELA ERP");
  int icon = -1;
  EXPECT_TRUE(SUCCEEDED(link->GetIconLocation(text, MAX_PATH * 2, &icon)));
  EXPECT_EQ(std::wstring(text), target);
  EXPECT_EQ(icon, 0);
  file->Release();
  link->Release();
  ::CoUninitialize();

  ASSERT_TRUE(::CopyFileW(link_file.c_str(), g_copy_to.c_str(), FALSE));
  ::DeleteFileW(link_file.c_str());
}

TEST(RegistryUnderWine, RegistrationWritesExactTypesAndSizesAndIsRemoved) {
  // HKCU redirected to a temporary key for the length of the test.
  const std::wstring scratch = L"Software\\KorvelaRegistrationTest";
  HKEY redirected = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, scratch.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &redirected, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegOverridePredefKey(HKEY_CURRENT_USER, redirected), ERROR_SUCCESS);

  AppPaths paths = {};
  wcscpy(paths.install_dir, L"C:\\Users\\tester\\AppData\\Local\\KORVELA ERP");
  wcscpy(paths.install_exe, L"C:\\Users\\tester\\AppData\\Local\\KORVELA ERP\\KORVELA ERP.exe");
  EXPECT_TRUE(register_uninstall(paths));

  struct Value { const wchar_t* name; DWORD type; std::wstring text; };
  const Value values[] = {
      {L"DisplayName", REG_SZ, L"KORVELA ERP"},
      {L"DisplayVersion", REG_SZ, L"1.0.20261204"},
      {L"Publisher", REG_SZ, L"QUENTARO"},
      {L"DisplayIcon", REG_SZ, paths.install_exe},
      {L"InstallLocation", REG_SZ, paths.install_dir},
      {L"UninstallString", REG_SZ, std::wstring(L"\"") + paths.install_exe + L"\" --uninstall"},
  };
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, UNINSTALL_KEY, 0, KEY_READ, &key), ERROR_SUCCESS);
  for (const Value& v : values) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(v.name)));
    BYTE data[4096];
    DWORD type = 0, bytes = sizeof(data);
    ASSERT_EQ(::RegQueryValueExW(key, v.name, nullptr, &type, data, &bytes), ERROR_SUCCESS);
    EXPECT_EQ(type, v.type);
    EXPECT_EQ(bytes, (v.text.size() + 1) * sizeof(wchar_t));
    EXPECT_EQ(std::wstring(reinterpret_cast<wchar_t*>(data)), v.text);
  }
  for (const wchar_t* name : {L"NoModify", L"NoRepair"}) {
    DWORD type = 0, value = 0, bytes = sizeof(value);
    ASSERT_EQ(::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 1u);
  }
  DWORD count = 0;
  ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                     nullptr, nullptr, nullptr);
  EXPECT_EQ(count, 8u);
  ::RegCloseKey(key);

  remove_uninstall_registration();
  EXPECT_NE(::RegOpenKeyExW(HKEY_CURRENT_USER, UNINSTALL_KEY, 0, KEY_READ, &key), ERROR_SUCCESS);

  ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  ::RegCloseKey(redirected);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, scratch.c_str());
  ::RegDeleteKeyW(HKEY_CURRENT_USER, scratch.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    fprintf(stderr, "usage: shell_link_real <unix path for the link copy>\n");
    return 2;
  }
  g_copy_to = L"Z:";
  for (const char* c = argv[1]; *c; ++c) g_copy_to += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
  return RUN_ALL_TESTS();
}
