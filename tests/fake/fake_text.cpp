// The fake Windows: text comparison, length and bounded formatting.
#include "tests/fake/fake_internal.h"

#include <algorithm>
#include <cwchar>
#include <vector>

#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

namespace win {

using namespace fake::detail;

int CompareStringOrdinal(LPCWCH left, int left_length, LPCWCH right, int right_length,
                         BOOL ignore_case) {
  std::wstring detail = L"<null>";
  if (left != nullptr) {
    detail = left_length < 0 ? std::wstring(left) : std::wstring(left, left_length);
  }
  CallScope scope("CompareStringOrdinal", detail);
  if (scope.failed()) {
    return scope.fault<int>();
  }
  return ::CompareStringOrdinal(left, left_length, right, right_length, ignore_case);
}

int wcscmp(const wchar_t* left, const wchar_t* right) {
  CallScope scope("wcscmp", text_of(left));
  if (scope.failed()) {
    return scope.fault<int>();
  }
  if (left == nullptr || right == nullptr) {
    // The real function would crash; here the test is told instead.
    misuse("wcscmp was passed a null pointer");
    return left == right ? 0 : (left == nullptr ? -1 : 1);
  }
  return ::wcscmp(left, right);
}

int lstrlenW(LPCWSTR text) {
  CallScope scope("lstrlenW", text_of(text));
  if (scope.failed()) {
    return scope.fault<int>();
  }
  return ::lstrlenW(text);
}

HRESULT StringCchVPrintfW(LPWSTR out, size_t capacity, LPCWSTR format, va_list args) {
  CallScope scope("StringCchVPrintfW", text_of(format));
  if (scope.failed()) {
    // A real failure leaves a cut text behind: here the text less its last
    // unit, so that a caller who uses it anyway goes on with a plausible but
    // wrong text and shows it, instead of tripping over stale buffer contents.
    if (out != nullptr && capacity > 0 && capacity <= STRSAFE_MAX_CCH) {
      std::vector<wchar_t> whole(capacity);
      ::StringCchVPrintfW(whole.data(), capacity, format, args);
      const size_t length = std::wcslen(whole.data());
      const size_t cut = length > 0 ? length - 1 : 0;
      std::copy(whole.begin(), whole.begin() + cut, out);
      out[cut] = L'\0';
    }
    return scope.fault<HRESULT>();
  }
  return ::StringCchVPrintfW(out, capacity, format, args);
}

}  // namespace win
