// The seam's two text operations, written out here instead of taken from the
// C runtime: the setup file links no C runtime, and the only parts of one the
// product ever needed were bounded formatting of %ls and %lu and an exact
// comparison of two wide strings.
//
// StringCchVPrintfW keeps the strsafe function's results and buffer contents
// for everything the product composes:
// - capacity 0 or above STRSAFE_MAX_CCH: STRSAFE_E_INVALID_PARAMETER, `out`
//   untouched;
// - the whole text and its terminator fit: S_OK, the text and one terminator
//   written, nothing after them;
// - otherwise STRSAFE_E_INSUFFICIENT_BUFFER, the first capacity - 1 units and
//   a terminator in the last unit.
// %ls copies a wide string (a null one as "(null)", as the C runtime does);
// %lu writes an unsigned 32-bit number in decimal. Any other use of '%'
// (%%, flags, widths, other conversions, a '%' at the end) is refused before
// its argument is read: STRSAFE_E_INVALID_PARAMETER with `out` holding the
// empty string, so that a format the product does not use can never take an
// argument of the wrong type.
#include "platform/win.h"

#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

namespace {

// Appends one unit while there is room before the terminator's place; counts
// every unit, written or not, so the caller learns the whole length.
void put(wchar_t* out, size_t room, size_t& length, wchar_t unit) {
  if (length < room) {
    out[length] = unit;
  }
  ++length;
}

}  // namespace

namespace win {

HRESULT StringCchVPrintfW(LPWSTR out, size_t capacity, LPCWSTR format, va_list args) {
  if (capacity == 0 || capacity > STRSAFE_MAX_CCH) {
    return STRSAFE_E_INVALID_PARAMETER;
  }
  const size_t room = capacity - 1;
  size_t length = 0;
  for (const wchar_t* at = format; *at != L'\0'; ++at) {
    if (*at != L'%') {
      put(out, room, length, *at);
      continue;
    }
    if (at[1] == L'l' && at[2] == L's') {
      const wchar_t* text = va_arg(args, const wchar_t*);
      if (text == nullptr) {
        text = L"(null)";
      }
      for (; *text != L'\0'; ++text) {
        put(out, room, length, *text);
      }
    } else if (at[1] == L'l' && at[2] == L'u') {
      // unsigned long is 32 bits on Windows: at most ten digits.
      unsigned long value = va_arg(args, unsigned long);
      wchar_t digits[10];
      int count = 0;
      do {
        digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
      } while (value != 0);
      while (count > 0) {
        put(out, room, length, digits[--count]);
      }
    } else {
      out[0] = L'\0';
      return STRSAFE_E_INVALID_PARAMETER;
    }
    at += 2;
  }
  if (length > room) {
    out[room] = L'\0';
    return STRSAFE_E_INSUFFICIENT_BUFFER;
  }
  out[length] = L'\0';
  return S_OK;
}

int wcscmp(const wchar_t* left, const wchar_t* right) {
  while (*left != L'\0' && *left == *right) {
    ++left;
    ++right;
  }
  // wchar_t is an unsigned 16-bit unit on Windows: units compare as numbers.
  return (*left > *right) - (*left < *right);
}

}  // namespace win
