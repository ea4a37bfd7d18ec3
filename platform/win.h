// The seam between the launcher's logic and Windows.
//
// core/, app/ and setup/ reach the operating system only through these
// functions. The product links platform/win_real.cpp, which forwards each one
// to the Win32 function of the same name; the unit tests link an in-memory
// fake instead. Each declaration has exactly the signature and the result
// conventions of the Win32 function it stands for, so the callers test results
// the platform's way (BOOL nonzero, HRESULT with SUCCEEDED, LSTATUS against
// ERROR_SUCCESS). Lengths and sizes named "size" count UTF-16 code units
// unless the Win32 function counts bytes (the registry's data sizes).
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <stdarg.h>
#include <stddef.h>

namespace win {

// Module, process and environment.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR out, DWORD size);
UINT GetSystemDirectoryW(LPWSTR out, UINT size);
DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR out, DWORD size);
// The process's whole command line, program name included; may be null.
LPWSTR GetCommandLineW();
DWORD GetCurrentProcessId();
BOOL CreateProcessW(LPCWSTR application, LPWSTR command_line,
                    LPSECURITY_ATTRIBUTES process_attributes,
                    LPSECURITY_ATTRIBUTES thread_attributes, BOOL inherit_handles,
                    DWORD creation_flags, LPVOID environment, LPCWSTR working_dir,
                    LPSTARTUPINFOW startup_info, LPPROCESS_INFORMATION process_info);
BOOL CloseHandle(HANDLE handle);

// Files and directories.
BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes);
DWORD GetFileAttributesW(LPCWSTR path);
BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes);
BOOL CopyFileW(LPCWSTR from, LPCWSTR to, BOOL fail_if_exists);
BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags);
// Also takes "<file>:<stream>", which deletes that named data stream alone.
BOOL DeleteFileW(LPCWSTR path);

// Text.
int CompareStringOrdinal(LPCWCH left, int left_length, LPCWCH right, int right_length,
                         BOOL ignore_case);
int wcscmp(const wchar_t* left, const wchar_t* right);
int lstrlenW(LPCWSTR text);
// StringCchVPrintfW: capacity counts code units, terminator included. The
// product's own implementation knows %ls and %lu only; any other conversion
// is refused with STRSAFE_E_INVALID_PARAMETER before its argument is read.
HRESULT StringCchVPrintfW(LPWSTR out, size_t capacity, LPCWSTR format, va_list args);

// Registry.
LSTATUS RegGetValueW(HKEY root, LPCWSTR subkey, LPCWSTR value_name, DWORD flags,
                     LPDWORD type, PVOID data, LPDWORD data_bytes);
LSTATUS RegCreateKeyExW(HKEY root, LPCWSTR subkey, DWORD reserved, LPWSTR key_class,
                        DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES attributes,
                        PHKEY key, LPDWORD disposition);
LSTATUS RegSetValueExW(HKEY key, LPCWSTR value_name, DWORD reserved, DWORD type,
                       const BYTE* data, DWORD data_bytes);
LSTATUS RegCloseKey(HKEY key);
LSTATUS RegDeleteKeyW(HKEY root, LPCWSTR subkey);

// Known folders and COM. The IShellLinkW and IPersistFile methods are called
// on the interfaces themselves.
HRESULT SHGetKnownFolderPath(REFKNOWNFOLDERID folder_id, DWORD flags, HANDLE token,
                             PWSTR* path);
void CoTaskMemFree(LPVOID block);
HRESULT CoInitializeEx(LPVOID reserved, DWORD apartment);
void CoUninitialize();
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                         LPVOID* object);

// User interface.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style);

// Loader. Limits the search for DLLs that are loaded on demand to the system
// directory, so that a DLL planted beside the executable (a downloaded setup
// file sits in the user's Downloads folder) is never loaded. Must run before
// anything that may load a DLL. Reports nothing: where the system cannot be
// told, the process goes on as before.
void restrict_dll_search();

}  // namespace win
