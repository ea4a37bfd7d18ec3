// Kept apart from the test's C++ library headers, so that strsafe.h and the
// C runtime's formatting are included the way the product once included them.
#include "tests/format/strsafe_reference.h"

#include <string.h>
#include <wchar.h>

#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

HRESULT reference_StringCchVPrintfW(wchar_t* out, size_t capacity, const wchar_t* format,
                                    va_list args) {
  return ::StringCchVPrintfW(out, capacity, format, args);
}

int reference_wcscmp(const wchar_t* left, const wchar_t* right) { return ::wcscmp(left, right); }
