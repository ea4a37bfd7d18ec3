// Runs a test program with Wine's Windows version set for the whole prefix:
//
//   as_windows <vista|win7|win10> <seconds> <unix path of program> [arguments...]
//
// Sets HKCU\Software\Wine, value Version, proves with a probe started after it
// (built with the product's manifest, so it sees what the product sees) that
// programs now get the version asked for, runs the program with its arguments
// and the name of the version in KORVELA_WINDOWS_VERSION, waits at most
// <seconds> for it, and deletes the value again: the prefix's default (Windows
// 7) is back for whatever runs next. The program's exit code is the result;
// 1 when the version did not take or the program had to be ended.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

const wchar_t kWineKey[] = L"Software\\Wine";

struct Version {
  const wchar_t* name;
  BYTE major;
  BYTE minor;
  const char* why;
};
// What a program started under each setting must see. The product's manifest
// has no compatibility section, so under the Windows 10 setting it sees 6.2,
// as such programs do on Windows 8.1 and later.
const Version kVersions[] = {
    {L"vista", 6, 0, "Windows Vista"},
    {L"win7", 6, 1, "Windows 7"},
    {L"win10", 6, 2, "Windows 10, to a program without a compatibility section"},
};

std::wstring windows_path(const wchar_t* unix_path) {
  std::wstring path = L"Z:";
  for (const wchar_t* c = unix_path; *c != L'\0'; ++c) path += *c == L'/' ? L'\\' : *c;
  return path;
}

// One argument quoted so that the C runtime's parser gives it back unchanged.
std::wstring quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

bool set_version(const wchar_t* name) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kWineKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LSTATUS status =
      RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                     static_cast<DWORD>((wcslen(name) + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

void restore_default_version() {
  const LSTATUS status = RegDeleteKeyValueW(HKEY_CURRENT_USER, kWineKey, L"Version");
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    fprintf(stderr, "as_windows: could not delete Wine's Version value (status %ld)\n", status);
  }
}

// Starts `command_line` and waits up to `timeout_ms`. False when it could not
// start or did not end in time (it is then ended); `exit_code` holds its code.
bool run(std::wstring command_line, DWORD timeout_ms, DWORD* exit_code) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    fprintf(stderr, "as_windows: could not start %ls, error %lu\n", command_line.c_str(),
            GetLastError());
    return false;
  }
  bool ended = WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_OBJECT_0;
  if (!ended) {
    fprintf(stderr, "as_windows: %ls did not end within %lu s; ending it\n", command_line.c_str(),
            timeout_ms / 1000);
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 10000);
  }
  GetExitCodeProcess(process.hProcess, exit_code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return ended;
}

std::wstring own_folder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.rfind(L'\\'));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc < 4) {
    fprintf(stderr, "usage: as_windows <vista|win7|win10> <seconds> <program> [arguments...]\n");
    return 2;
  }
  const Version* version = nullptr;
  for (const Version& v : kVersions) {
    if (wcscmp(v.name, argv[1]) == 0) version = &v;
  }
  const DWORD seconds = wcstoul(argv[2], nullptr, 10);
  if (version == nullptr || seconds == 0) {
    fprintf(stderr, "as_windows: unknown version %ls or no time bound %ls\n", argv[1], argv[2]);
    return 2;
  }
  if (!set_version(version->name)) {
    fprintf(stderr, "as_windows: could not set Wine's Version value\n");
    return 1;
  }
  // The probe's exit code is GetVersion's result as it saw it.
  DWORD seen = 0;
  const bool probed = run(quoted(own_folder() + L"\\windows_version_probe.exe"), 30000, &seen);
  const BYTE major = LOBYTE(LOWORD(seen));
  const BYTE minor = HIBYTE(LOWORD(seen));
  if (!probed || major != version->major || minor != version->minor) {
    fprintf(stderr,
            "as_windows: Wine's Version is %ls, but a program started now sees GetVersion "
            "%u.%u (build %u) instead of %u.%u (%s)\n",
            version->name, major, minor, HIWORD(seen), version->major, version->minor,
            version->why);
    restore_default_version();
    return 1;
  }
  printf("as_windows: Wine's Version is %ls; programs see GetVersion %u.%u (build %u), %s\n",
         version->name, major, minor, HIWORD(seen), version->why);

  SetEnvironmentVariableW(L"KORVELA_WINDOWS_VERSION", version->name);
  std::wstring command_line = quoted(windows_path(argv[3]));
  for (int i = 4; i < argc; ++i) command_line += L" " + quoted(argv[i]);
  DWORD exit_code = 1;
  const bool ended = run(command_line, seconds * 1000, &exit_code);
  restore_default_version();
  return ended ? static_cast<int>(exit_code) : 1;
}
