// Unit tests that crash: the test command must see each fail at once, with the
// exception in its output, and not wait for Wine's crash debugger. Run one at
// a time by expect_crash.sh; MinGW's GoogleTest does not catch structured
// exceptions, so a crash ends the process.
#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(Crash, WritesThroughANullPointer) {
  volatile int* nowhere = nullptr;
  *nowhere = 1;
}

TEST(Crash, RaisesAnExceptionNothingHandles) {
  RaiseException(0xE0C0FFEE, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

}  // namespace
