// What the contract cases need from the world they run in, implemented once
// for the fake (fake_backend.cpp) and once for Windows itself under Wine
// (real_backend.cpp, in a temporary folder and with HKCU redirected to a
// temporary key).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace backend {

// true for the fake, false for Windows: lets a case say where the two differ.
bool is_fake();
void set_up();     // a fresh, empty scratch folder and scratch HKCU
void tear_down();  // removes both; fails the test on leaked resources (fake)
std::wstring root();  // the scratch folder, which exists
void make_dir(const std::wstring& path);
void make_file(const std::wstring& path, const std::string& content, DWORD attributes);
std::string file_content(const std::wstring& path);
// Writes the named data stream `name` of the existing file `path` (on NTFS
// "path:name"; under Wine, which keeps no streams, an ordinary file of that name).
void make_stream(const std::wstring& path, const std::wstring& name, const std::string& content);
// Writes a value under HKCU\subkey (created as needed), bypassing the seam.
void put_value(const std::wstring& subkey, const std::wstring& name, DWORD type,
               const std::vector<BYTE>& data);
void set_env(const std::wstring& name, const std::wstring& value);

}  // namespace backend
