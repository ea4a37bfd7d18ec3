// The fixture every unit test against the fake Windows derives from: each test
// starts in the default world, and whatever it leaked or released twice fails
// that very test rather than a later one.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/fake/fake_win.h"

// UTF-8 text of a wide string, for failure messages built by hand.
inline std::string narrow(const std::wstring& text) {
  if (text.empty()) {
    return std::string();
  }
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                        nullptr, nullptr);
  return out;
}

class FakeWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override { fake::reset(); }

  void TearDown() override {
    for (const std::string& problem : fake::problems()) {
      ADD_FAILURE() << "fake Windows: " << problem;
    }
  }
};
