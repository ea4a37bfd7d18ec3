#include "tests/contract/backend.h"

#include <gtest/gtest.h>

#include "tests/fake/fake_win.h"

namespace backend {

namespace {
const wchar_t kRoot[] = L"C:\\scratch";
}

bool is_fake() { return true; }

void set_up() {
  fake::reset();
  fake::add_dir(kRoot);
}

void tear_down() {
  for (const std::string& problem : fake::problems()) {
    ADD_FAILURE() << "fake Windows: " << problem;
  }
}

std::wstring root() { return kRoot; }
void make_dir(const std::wstring& path) { fake::add_dir(path); }
void make_file(const std::wstring& path, const std::string& content, DWORD attributes) {
  fake::add_file(path, content, attributes);
}
void make_stream(const std::wstring& path, const std::wstring& name, const std::string& content) {
  fake::add_stream(path, name, content);
}
std::string file_content(const std::wstring& path) {
  const auto node = fake::node(path);
  return node ? node->content : std::string("<missing>");
}
void put_value(const std::wstring& subkey, const std::wstring& name, DWORD type,
               const std::vector<BYTE>& data) {
  fake::set_reg_value(HKEY_CURRENT_USER, subkey, name, type, data);
}
void set_env(const std::wstring& name, const std::wstring& value) { fake::set_env(name, value); }

}  // namespace backend
