// The seam's own bounded formatting and comparison (platform/text.cpp) against
// strsafe's StringCchVPrintfW and the C runtime's wcscmp: every format the
// product composes, at the capacities it uses and at small ones, with texts
// one unit short of, exactly at, and one and two units past the fit. Results
// and whole buffers, sentinel-filled beforehand, must be identical.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win.h"
#include "tests/format/strsafe_reference.h"

namespace {

const HRESULT kInvalidParameter = static_cast<HRESULT>(0x80070057L);
const size_t kMaxCapacity = 2147483647;  // STRSAFE_MAX_CCH
const wchar_t kSentinel = 0xA5A5;
// Units written after the capacity would show up here.
const size_t kGuard = 8;

using Formatter = HRESULT (*)(wchar_t*, size_t, const wchar_t*, va_list);

HRESULT via(Formatter formatter, wchar_t* out, size_t capacity, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const HRESULT result = formatter(out, capacity, format, args);
  va_end(args);
  return result;
}

// The argument lists the product passes: wide strings, and one number after
// one string.
enum Shape { NONE, S, SS, SSS, SN, N };

struct Args {
  const wchar_t* text[3];
  unsigned long number;
};

HRESULT run(Formatter formatter, wchar_t* out, size_t capacity, const wchar_t* format,
            Shape shape, const Args& a) {
  switch (shape) {
    case NONE:
      return via(formatter, out, capacity, format);
    case S:
      return via(formatter, out, capacity, format, a.text[0]);
    case SS:
      return via(formatter, out, capacity, format, a.text[0], a.text[1]);
    case SSS:
      return via(formatter, out, capacity, format, a.text[0], a.text[1], a.text[2]);
    case SN:
      return via(formatter, out, capacity, format, a.text[0], a.number);
    case N:
      return via(formatter, out, capacity, format, a.number);
  }
  return E_FAIL;
}

struct Format {
  const char* name;
  const wchar_t* format;
  Shape shape;
};

// The product's formats, written out again here on purpose: a change to one
// of them in the product should come with a look at this table.
const Format kFormats[] = {
    {"join", L"%ls\\%ls", SS},
    {"browser command line", L"\"%ls\" --app=\"%ls\" --user-data-dir=\"%ls\" --no-first-run", SSS},
    {"temporary file name", L"%ls\\KORVELA ERP-%lu.tmp", SN},
    {"uninstall command", L"\"%ls\" --uninstall", S},
    {"PowerShell command line",
     L"\"%ls\" -NoLogo -NoProfile -NonInteractive -WindowStyle Hidden -Command \"Wait-Process -Id "
     L"%lu -ErrorAction SilentlyContinue; Remove-Item -LiteralPath (Join-Path "
     L"([Environment]::GetFolderPath('LocalApplicationData')) 'KORVELA ERP\\KORVELA ERP.exe') "
     L"-Force\"",
     SN},
    {"a number alone", L"%lu", N},
    {"no conversion", L"KORVELA ERP", NONE},
    {"empty format", L"", NONE},
};

const unsigned long kNumbers[] = {0, 7, 4294967295ul};

struct Outcome {
  HRESULT result;
  std::vector<wchar_t> buffer;
};

Outcome format_with(Formatter formatter, size_t capacity, size_t buffer_units,
                    const Format& f, const Args& a) {
  Outcome outcome{S_OK, std::vector<wchar_t>(buffer_units + kGuard, kSentinel)};
  outcome.result = run(formatter, outcome.buffer.data(), capacity, f.format, f.shape, a);
  return outcome;
}

void expect_same(size_t capacity, size_t buffer_units, const Format& f, const Args& a) {
  const Outcome ours = format_with(win::StringCchVPrintfW, capacity, buffer_units, f, a);
  const Outcome theirs = format_with(reference_StringCchVPrintfW, capacity, buffer_units, f, a);
  EXPECT_EQ(ours.result, theirs.result);
  EXPECT_TRUE(ours.buffer == theirs.buffer) << "the buffers differ";
}

// The length of the text with empty strings, for padding to exact fits.
size_t base_length(const Format& f, unsigned long number) {
  const Args empty{{L"", L"", L""}, number};
  wchar_t out[512];
  EXPECT_EQ(run(win::StringCchVPrintfW, out, 512, f.format, f.shape, empty), S_OK);
  return std::wstring(out).size();
}

// Padding with backslashes, quotes, blanks and units beyond ASCII.
std::wstring padding(size_t units) {
  const wchar_t pattern[] = L"K\\\"\u4e2d\u6587 \xFFFF" L"a";
  std::wstring text;
  for (size_t i = 0; i < units; ++i) {
    text += pattern[i % (sizeof(pattern) / sizeof(pattern[0]) - 1)];
  }
  return text;
}

TEST(FormatDifferential, EveryProductFormatAroundEveryFit) {
  // 10 and 11: the ten digits of 4294967295 cut by one, and exactly fitting.
  const size_t capacities[] = {1, 2, 3, 10, 11, 17, 1024, 4096};
  for (const Format& f : kFormats) {
    for (unsigned long number : kNumbers) {
      const size_t base = base_length(f, number);
      const bool has_text = f.shape != NONE && f.shape != N;
      for (size_t capacity : capacities) {
        // Text lengths one short of the fit, the exact fit (capacity - 1) and
        // one and two past it; without a string argument only the base text.
        for (size_t target = capacity > 2 ? capacity - 2 : 0; target <= capacity + 1; ++target) {
          if (target < base || (!has_text && target != base)) {
            continue;
          }
          const std::wstring first = padding(target - base);
          const std::wstring second = L"C:\\Users\\\u7528\u6237\\AppData\\Local";
          for (int padded_argument = 0; padded_argument < (f.shape == SS || f.shape == SSS ? 2 : 1);
               ++padded_argument) {
            // The padded text in one argument position, the others empty.
            Args a{{L"", L"", L""}, number};
            a.text[padded_argument] = first.c_str();
            SCOPED_TRACE(testing::Message() << f.name << ", number " << number << ", capacity "
                                            << capacity << ", text of " << target
                                            << " units padded in argument " << padded_argument);
            expect_same(capacity, capacity, f, a);
          }
          if (has_text && target == base) {
            // Every argument non-empty, for the shapes that take several.
            Args a{{second.c_str(), L"https://erp.example.com/korvela", second.c_str()}, number};
            SCOPED_TRACE(testing::Message() << f.name << ", number " << number << ", capacity "
                                            << capacity << ", every argument set");
            expect_same(capacity, capacity, f, a);
          }
        }
      }
    }
  }
}

TEST(FormatDifferential, CapacitiesStrsafeRefuses) {
  struct Case {
    const char* name;
    size_t capacity;
  };
  const Case cases[] = {
      {"capacity 0", 0},
      {"one above the largest capacity", kMaxCapacity + 1},
      {"the largest size_t", static_cast<size_t>(-1)},
  };
  const Args a{{L"C:\\Users", L"KORVELA ERP", L""}, 7};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const Format& f : kFormats) {
      SCOPED_TRACE(f.name);
      // A small buffer: neither may write to it at all.
      expect_same(c.capacity, 16, f, a);
      const Outcome ours = format_with(win::StringCchVPrintfW, c.capacity, 16, f, a);
      EXPECT_EQ(ours.result, kInvalidParameter);
      EXPECT_EQ(ours.buffer, std::vector<wchar_t>(16 + kGuard, kSentinel));
    }
  }
}

TEST(FormatDifferential, LargestCapacityWritesOnlyTheText) {
  const Args a{{L"C:\\Users", L"KORVELA ERP", L"x"}, 4294967295ul};
  for (const Format& f : kFormats) {
    SCOPED_TRACE(f.name);
    // The texts are far shorter than the buffer: nothing past the terminator
    // may change although the capacity claims more.
    expect_same(kMaxCapacity, 1024, f, a);
  }
}

TEST(FormatDifferential, NullStringArgument) {
  const Format join{"join", L"%ls\\%ls", SS};
  const Args a{{nullptr, L"KORVELA ERP", L""}, 0};
  for (size_t capacity : {1, 6, 7, 8, 1024}) {
    SCOPED_TRACE(testing::Message() << "capacity " << capacity);
    expect_same(capacity, capacity, join, a);
  }
}

// Formats outside %ls and %lu are refused before any argument is read: the
// result is a failure and the buffer holds the empty string.
TEST(OwnFormatting, RefusesEveryOtherConversion) {
  struct Case {
    const char* name;
    const wchar_t* format;
  };
  const Case cases[] = {
      {"%d", L"%d"},
      {"narrow %s", L"%s"},
      {"wide %ls then %d", L"%ls%d"},
      {"%%", L"100%%"},
      {"a width", L"%5ls"},
      {"%lx", L"%lx"},
      {"%llu", L"%llu"},
      {"%l at the end", L"abc%l"},
      {"% at the end", L"abc%"},
      {"%c", L"%c"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<wchar_t> out(64, kSentinel);
    EXPECT_EQ(via(win::StringCchVPrintfW, out.data(), out.size(), c.format, L"x", 1ul),
              kInvalidParameter);
    EXPECT_EQ(out[0], L'\0');
  }
}

TEST(OwnComparison, SameSignAsTheCRuntime) {
  struct Case {
    const char* name;
    const wchar_t* left;
    const wchar_t* right;
  };
  const Case cases[] = {
      {"both empty", L"", L""},
      {"empty and not", L"", L"--uninstall"},
      {"not and empty", L"--uninstall", L""},
      {"equal", L"--uninstall", L"--uninstall"},
      {"a trailing blank", L"--uninstall ", L"--uninstall"},
      {"a prefix", L"--uninstal", L"--uninstall"},
      {"a capital", L"--Uninstall", L"--uninstall"},
      {"quoted", L"\"--uninstall\"", L"--uninstall"},
      {"units above 0x7FFF compare as unsigned", L"a\xFFFF", L"a\x0001"},
      {"Chinese against ASCII", L"\u4e2d", L"z"},
      {"differ in the last unit", L"abcd", L"abce"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int ours = win::wcscmp(c.left, c.right);
    const int theirs = reference_wcscmp(c.left, c.right);
    EXPECT_EQ((ours > 0) - (ours < 0), (theirs > 0) - (theirs < 0));
    const int reversed = win::wcscmp(c.right, c.left);
    EXPECT_EQ((reversed > 0) - (reversed < 0), -((ours > 0) - (ours < 0)));
  }
}

}  // namespace
