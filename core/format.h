// Bounded formatting: every composed path, name and command line goes through
// here, so a text that does not fit its buffer is a failed step, never a
// truncated text.
#pragma once

#include <stdarg.h>

#include "core/constants.h"
#include "platform/win.h"

// Composes `format` (%ls: a wide string, %lu: an unsigned 32-bit number) into
// `out`, whose capacity N counts UTF-16 code units and includes the
// terminator. True only when the whole text and its terminator fit. After
// false `out` holds a cut text that must not be used.
template <size_t N>
bool format_text(wchar_t (&out)[N], const wchar_t* format, ...) {
  static_assert(N == PATH_CAPACITY || N == COMMAND_CAPACITY,
                "composed texts live in path or command buffers");
  va_list args;
  va_start(args, format);
  const HRESULT result = win::StringCchVPrintfW(out, N, format, args);
  va_end(args);
  return SUCCEEDED(result);
}

// Joins `folder`, one backslash and `name` into `out` (PATH_CAPACITY units).
// Nothing is trimmed: a folder ending in a backslash gives two in a row.
// False when the result does not fit; `out` is then not to be used.
inline bool join_path(wchar_t (&out)[PATH_CAPACITY], const wchar_t* folder,
                      const wchar_t* name) {
  return format_text(out, L"%ls\\%ls", folder, name);
}

// The rule for a Windows call that writes a path into a PATH_CAPACITY buffer
// and returns a length in code units: only 1 to 1023 means a whole, non-empty
// text. 0 is a failure or an empty value, 1024 and more a cut text or the
// size that would have been needed.
inline bool path_length_ok(DWORD length) {
  return length >= 1 && length <= PATH_CAPACITY - 1;
}
