#include "tests/contract/backend.h"

#include <gtest/gtest.h>

namespace backend {

namespace {

std::wstring g_root;
std::wstring g_key;
HKEY g_redirected = nullptr;

void remove_tree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        remove_tree(child);
      } else {
        ::DeleteFileW(child.c_str());
      }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
  }
  ::RemoveDirectoryW(path.c_str());
}

void write_file(const std::wstring& path, const std::string& content, DWORD disposition) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  ::CloseHandle(file);
}

}  // namespace

bool is_fake() { return false; }

void set_up() {
  wchar_t temp[MAX_PATH];
  ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring id = std::to_wstring(::GetCurrentProcessId());
  g_root = std::wstring(temp) + L"korvela-contract-" + id;
  remove_tree(g_root);
  ASSERT_TRUE(::CreateDirectoryW(g_root.c_str(), nullptr));
  // Every HKCU access of the process, the seam's included, lands in this key.
  g_key = L"Software\\KorvelaContract-" + id;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, g_key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &g_redirected, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegOverridePredefKey(HKEY_CURRENT_USER, g_redirected), ERROR_SUCCESS);
}

void tear_down() {
  ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  if (g_redirected != nullptr) {
    ::RegCloseKey(g_redirected);
    g_redirected = nullptr;
    ::RegDeleteTreeW(HKEY_CURRENT_USER, g_key.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, g_key.c_str());
  }
  remove_tree(g_root);
}

std::wstring root() { return g_root; }

void make_dir(const std::wstring& path) {
  ASSERT_TRUE(::CreateDirectoryW(path.c_str(), nullptr));
}

void make_file(const std::wstring& path, const std::string& content, DWORD attributes) {
  write_file(path, content, CREATE_NEW);
  ASSERT_TRUE(::SetFileAttributesW(path.c_str(), attributes));
}

void make_stream(const std::wstring& path, const std::wstring& name, const std::string& content) {
  write_file(path + L":" + name, content, CREATE_ALWAYS);
}

std::string file_content(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string content;
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    content.append(buffer, read);
  }
  ::CloseHandle(file);
  return content;
}

void put_value(const std::wstring& subkey, const std::wstring& name, DWORD type,
               const std::vector<BYTE>& data) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExW(key, name.empty() ? nullptr : name.c_str(), 0, type, data.data(),
                             static_cast<DWORD>(data.size())),
            ERROR_SUCCESS);
  ::RegCloseKey(key);
}

void set_env(const std::wstring& name, const std::wstring& value) {
  ASSERT_TRUE(::SetEnvironmentVariableW(name.c_str(), value.c_str()));
}

}  // namespace backend
