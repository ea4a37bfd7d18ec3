// The C runtime's side of the differential test: strsafe's StringCchVPrintfW
// (which formats with the C runtime's _vsnwprintf) and the C runtime's wcscmp,
// exactly as the setup file called them before it had its own.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <windows.h>

HRESULT reference_StringCchVPrintfW(wchar_t* out, size_t capacity, const wchar_t* format,
                                    va_list args);
int reference_wcscmp(const wchar_t* left, const wchar_t* right);
