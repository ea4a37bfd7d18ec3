// The fixture every unit test against the fake Windows derives from: each test
// starts in the default world, and whatever it leaked or released twice fails
// that very test rather than a later one.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

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

// Fails the current test with every problem the fake has seen so far; for
// loops that reset the fake between cases, where the fixture would look too late.
inline void expect_no_problems() {
  EXPECT_TRUE(fake::problems().empty()) << testing::PrintToString(fake::problems());
}

// How many calls of `op` the log holds.
inline int count_calls(const std::string& op) {
  int count = 0;
  for (const fake::Call& call : fake::calls()) {
    if (call.op == op) {
      ++count;
    }
  }
  return count;
}

// One call of a recorded run that a fault sweep makes fail: the operation,
// which of its calls it was (1-based), and the call's detail.
struct SweepPoint {
  std::string op;
  int nth;
  std::wstring detail;
};

// The calls of `run` that can be made to fail, in order, each with its
// occurrence number among the calls of the same operation.
inline std::vector<SweepPoint> sweep_points(const std::vector<fake::Call>& run) {
  std::vector<SweepPoint> points;
  std::map<std::string, int> seen;
  for (const fake::Call& call : run) {
    const int nth = ++seen[call.op];
    if (fake::failure_result(call.op).has_value()) {
      points.push_back({call.op, nth, call.detail});
    }
  }
  return points;
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
