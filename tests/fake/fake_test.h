// The fixture every unit test against the fake Windows derives from: each test
// starts in the default world, and whatever it leaked or released twice fails
// that very test rather than a later one.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <utility>
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

// "absent" without the key, "complete" when it holds a value of every name
// in `names`, "partial" otherwise: the states of a registration.
inline std::string registration_state(HKEY root, const std::wstring& key,
                                      const std::vector<std::wstring>& names) {
  if (!fake::reg_key_exists(root, key)) {
    return "absent";
  }
  for (const std::wstring& name : names) {
    if (!fake::reg_value(root, key, name).has_value()) {
      return "partial";
    }
  }
  return "complete";
}

// One call of a recorded run that a fault sweep makes fail: the operation,
// which of its calls it was (1-based), the call's detail, and which of the
// calls with this operation and this detail it was (1-based).
struct SweepPoint {
  std::string op;
  int nth;
  std::wstring detail;
  int nth_with_detail;
};

// The calls of `run` that can be made to fail, in order, each with its
// occurrence numbers among the calls of the same operation.
inline std::vector<SweepPoint> sweep_points(const std::vector<fake::Call>& run) {
  std::vector<SweepPoint> points;
  std::map<std::string, int> seen;
  std::map<std::pair<std::string, std::wstring>, int> seen_with_detail;
  for (const fake::Call& call : run) {
    const int nth = ++seen[call.op];
    const int nth_with_detail = ++seen_with_detail[{call.op, call.detail}];
    if (fake::failure_result(call.op).has_value()) {
      points.push_back({call.op, nth, call.detail, nth_with_detail});
    }
  }
  return points;
}

// ---- Oracles for fault sweeps -------------------------------------------------
//
// A flow's oracle is a table with one row per call of its happy run that can
// fail: the call, named by operation, detail and occurrence among the calls
// with that same operation and detail (so that a call added elsewhere in the
// run does not renumber the rows), and what the run must end in when that
// call alone fails: its exit code or result, the boxes shown, in order, and
// what is left, in words the flow's test composes from the world.
// A row with an empty op states the outcome when nothing fails.

// A message box as the user sees it: its text and its buttons and icon.
// Every box of the product has the caption "KORVELA ERP" and no owner; the
// sweep checks that of each box by itself.
struct ShownBox {
  std::wstring text;
  UINT style;
  bool operator==(const ShownBox& other) const {
    return text == other.text && style == other.style;
  }
};
inline void PrintTo(const ShownBox& box, std::ostream* out) {
  *out << "{\"" << narrow(box.text) << "\", style 0x" << std::hex << box.style << std::dec << "}";
}

struct OracleRow {
  std::string op;
  std::wstring detail;
  int nth;                          // among the calls with this op and detail
  int result;                       // exit code; 1 and 0 for true and false
  std::vector<ShownBox> boxes;      // the boxes shown, in order
  std::string left;                 // what the run leaves, in the flow's words
  // A text of the one problem the fake must report (the handle or key whose
  // close was made to fail stays open by its count); empty: none.
  std::string problem = "";
};

// A flow under a sweep: the world it starts from (set up after fake::reset()),
// the run itself (its calls are the happy run), and the description of what
// a run left.
struct SweptFlow {
  std::function<void()> arrange;
  std::function<int()> run;
  std::function<std::string()> left;
};

inline std::string describe(const OracleRow& row) {
  return row.op + " \"" + narrow(row.detail) + "\" #" + std::to_string(row.nth);
}

// Checks the outcome of the run just made against `row`.
inline void expect_outcome(const OracleRow& row, int result, const SweptFlow& flow) {
  EXPECT_EQ(result, row.result);
  std::vector<ShownBox> shown;
  for (const fake::Box& box : fake::boxes()) {
    shown.push_back({box.text, box.style});
    EXPECT_EQ(box.caption, L"KORVELA ERP") << narrow(box.text);
    EXPECT_EQ(box.owner, nullptr) << narrow(box.text);
  }
  EXPECT_EQ(shown, row.boxes);
  EXPECT_EQ(flow.left(), row.left);
  const std::vector<std::string> problems = fake::problems();
  if (row.problem.empty()) {
    EXPECT_TRUE(problems.empty()) << testing::PrintToString(problems);
  } else if (problems.size() != 1 || problems[0].find(row.problem) == std::string::npos) {
    ADD_FAILURE() << "expected the one problem \"" << row.problem << "\", the fake saw "
                  << testing::PrintToString(problems);
  }
}

// Records the happy run of `flow` and checks it against the row with an empty
// op, when the oracle has one. Then fails each failable call of the happy run
// alone and checks the outcome against its row. Fails a failable call that no
// row names (a new call must be judged before it ships) and a row that the
// happy run never reaches (a stale row). Leaves the fake reset.
inline void sweep_against(const std::vector<OracleRow>& oracle, const SweptFlow& flow) {
  fake::reset();
  flow.arrange();
  const size_t first = fake::calls().size();
  const int happy_result = flow.run();
  const std::vector<fake::Call> happy(fake::calls().begin() + static_cast<std::ptrdiff_t>(first),
                                      fake::calls().end());
  std::vector<bool> reached(oracle.size(), false);
  for (size_t i = 0; i < oracle.size(); ++i) {
    if (oracle[i].op.empty()) {
      SCOPED_TRACE("nothing fails");
      expect_outcome(oracle[i], happy_result, flow);
      reached[i] = true;
    }
  }
  for (const SweepPoint& point : sweep_points(happy)) {
    const OracleRow probe{point.op, point.detail, point.nth_with_detail, 0, {}, ""};
    SCOPED_TRACE(describe(probe) + " fails");
    size_t index = 0;
    while (index < oracle.size() &&
           !(oracle[index].op == point.op && oracle[index].detail == point.detail &&
             oracle[index].nth == point.nth_with_detail)) {
      ++index;
    }
    if (index == oracle.size()) {
      ADD_FAILURE() << "the happy run makes a call that can fail and that the oracle does not "
                       "judge: "
                    << describe(probe);
      continue;
    }
    reached[index] = true;
    const OracleRow& row = oracle[index];

    fake::reset();
    flow.arrange();
    const size_t start = fake::calls().size();
    fake::fail_usual(point.op, point.nth);
    const int result = flow.run();

    // The fault must have hit the call the row names, not a later one.
    int nth = 0;
    bool hit = false;
    for (size_t i = start; i < fake::calls().size(); ++i) {
      const fake::Call& call = fake::calls()[i];
      if (call.op == point.op && ++nth == point.nth) {
        hit = call.failed && call.detail == point.detail;
        break;
      }
    }
    EXPECT_TRUE(hit) << "the fault did not hit " << describe(row);
    expect_outcome(row, result, flow);
  }
  for (size_t i = 0; i < oracle.size(); ++i) {
    EXPECT_TRUE(reached[i]) << "the oracle names a call the happy run never makes: "
                            << describe(oracle[i]);
  }
  fake::reset();
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
