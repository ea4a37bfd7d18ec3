// The product's side of the seam: each win:: function forwards to the Win32
// function of the same name. The two text operations that would come from the
// C runtime, StringCchVPrintfW and wcscmp, are in platform/text.cpp.
#include "platform/win.h"

namespace win {

DWORD GetModuleFileNameW(HMODULE module, LPWSTR out, DWORD size) {
  return ::GetModuleFileNameW(module, out, size);
}
UINT GetSystemDirectoryW(LPWSTR out, UINT size) { return ::GetSystemDirectoryW(out, size); }
DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR out, DWORD size) {
  return ::GetEnvironmentVariableW(name, out, size);
}
LPWSTR GetCommandLineW() { return ::GetCommandLineW(); }
DWORD GetCurrentProcessId() { return ::GetCurrentProcessId(); }
BOOL CreateProcessW(LPCWSTR application, LPWSTR command_line,
                    LPSECURITY_ATTRIBUTES process_attributes,
                    LPSECURITY_ATTRIBUTES thread_attributes, BOOL inherit_handles,
                    DWORD creation_flags, LPVOID environment, LPCWSTR working_dir,
                    LPSTARTUPINFOW startup_info, LPPROCESS_INFORMATION process_info) {
  return ::CreateProcessW(application, command_line, process_attributes, thread_attributes,
                          inherit_handles, creation_flags, environment, working_dir,
                          startup_info, process_info);
}
BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes) {
  return ::CreateDirectoryW(path, attributes);
}
DWORD GetFileAttributesW(LPCWSTR path) { return ::GetFileAttributesW(path); }
BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes) {
  return ::SetFileAttributesW(path, attributes);
}
BOOL CopyFileW(LPCWSTR from, LPCWSTR to, BOOL fail_if_exists) {
  return ::CopyFileW(from, to, fail_if_exists);
}
BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) { return ::MoveFileExW(from, to, flags); }
BOOL DeleteFileW(LPCWSTR path) { return ::DeleteFileW(path); }

int CompareStringOrdinal(LPCWCH left, int left_length, LPCWCH right, int right_length,
                         BOOL ignore_case) {
  return ::CompareStringOrdinal(left, left_length, right, right_length, ignore_case);
}
int lstrlenW(LPCWSTR text) { return ::lstrlenW(text); }

LSTATUS RegGetValueW(HKEY root, LPCWSTR subkey, LPCWSTR value_name, DWORD flags,
                     LPDWORD type, PVOID data, LPDWORD data_bytes) {
  return ::RegGetValueW(root, subkey, value_name, flags, type, data, data_bytes);
}
LSTATUS RegCreateKeyExW(HKEY root, LPCWSTR subkey, DWORD reserved, LPWSTR key_class,
                        DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES attributes,
                        PHKEY key, LPDWORD disposition) {
  return ::RegCreateKeyExW(root, subkey, reserved, key_class, options, access, attributes, key,
                           disposition);
}
LSTATUS RegSetValueExW(HKEY key, LPCWSTR value_name, DWORD reserved, DWORD type,
                       const BYTE* data, DWORD data_bytes) {
  return ::RegSetValueExW(key, value_name, reserved, type, data, data_bytes);
}
LSTATUS RegCloseKey(HKEY key) { return ::RegCloseKey(key); }
LSTATUS RegDeleteKeyW(HKEY root, LPCWSTR subkey) { return ::RegDeleteKeyW(root, subkey); }

HRESULT SHGetKnownFolderPath(REFKNOWNFOLDERID folder_id, DWORD flags, HANDLE token,
                             PWSTR* path) {
  return ::SHGetKnownFolderPath(folder_id, flags, token, path);
}
void CoTaskMemFree(LPVOID block) { ::CoTaskMemFree(block); }
HRESULT CoInitializeEx(LPVOID reserved, DWORD apartment) {
  return ::CoInitializeEx(reserved, apartment);
}
void CoUninitialize() { ::CoUninitialize(); }
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                         LPVOID* object) {
  return ::CoCreateInstance(clsid, outer, context, iid, object);
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
  return ::MessageBoxW(owner, text, caption, style);
}

}  // namespace win
