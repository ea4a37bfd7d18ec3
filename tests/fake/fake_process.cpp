// The fake Windows: the module, the process, its environment and the processes it starts.
#include "tests/fake/fake_internal.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

namespace fake {
namespace detail {

std::wstring first_token(const wchar_t* line) {
  std::wstring token;
  if (line == nullptr) {
    return token;
  }
  bool quoted = false;
  for (const wchar_t* at = line; *at != L'\0'; ++at) {
    if (*at == L'"') {
      quoted = !quoted;
    } else if (!quoted && (*at == L' ' || *at == L'\t')) {
      break;
    } else {
      token += *at;
    }
  }
  return token;
}

}  // namespace detail

using namespace detail;

void set_env(const std::wstring& name, const std::wstring& value) {
  state().world.env[lower(name)] = EnvEntry{name, value};
}

void unset_env(const std::wstring& name) { state().world.env.erase(lower(name)); }

void set_module_path(const std::wstring& path) { state().module_path = path; }

void set_system_dir(const std::wstring& path) { state().system_dir = path; }

void set_process_id(DWORD id) { state().process_id = id; }

void set_command_line(const wchar_t* line) {
  State& s = state();
  s.has_command_line = line != nullptr;
  s.command_line.clear();
  if (line != nullptr) {
    s.command_line.assign(line, line + std::wcslen(line));
  }
  s.command_line.push_back(L'\0');
}

const std::vector<Process>& processes() { return state().processes; }

}  // namespace fake

namespace win {

using namespace fake::detail;

DWORD GetModuleFileNameW(HMODULE module, LPWSTR out, DWORD size) {
  CallScope scope("GetModuleFileNameW", L"");
  if (scope.failed()) {
    return scope.fault<DWORD>();
  }
  if (module != nullptr) {
    // Only the program's own module exists in the fake.
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (size == 0 || out == nullptr) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  const std::wstring& path = state().module_path;
  const DWORD length = static_cast<DWORD>(path.size());
  if (length < size) {
    std::copy(path.begin(), path.end(), out);
    out[length] = L'\0';
    return length;
  }
  // Vista and later: cut to size - 1 units, terminated, and report size.
  std::copy(path.begin(), path.begin() + (size - 1), out);
  out[size - 1] = L'\0';
  ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

UINT GetSystemDirectoryW(LPWSTR out, UINT size) {
  CallScope scope("GetSystemDirectoryW", L"");
  if (scope.failed()) {
    return scope.fault<UINT>();
  }
  const std::wstring& path = state().system_dir;
  const UINT length = static_cast<UINT>(path.size());
  if (out == nullptr || length + 1 > size) {
    return length + 1;
  }
  std::copy(path.begin(), path.end(), out);
  out[length] = L'\0';
  return length;
}

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR out, DWORD size) {
  CallScope scope("GetEnvironmentVariableW", text_of(name));
  if (scope.failed()) {
    return scope.fault<DWORD>();
  }
  if (name == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const auto& env = state().world.env;
  auto found = env.find(lower(name));
  if (found == env.end()) {
    ::SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  const std::wstring& value = found->second.value;
  const DWORD length = static_cast<DWORD>(value.size());
  if (out == nullptr || length + 1 > size) {
    return length + 1;
  }
  std::copy(value.begin(), value.end(), out);
  out[length] = L'\0';
  return length;
}

LPWSTR GetCommandLineW() {
  CallScope scope("GetCommandLineW", L"");
  if (scope.failed()) {
    return scope.fault<LPWSTR>();
  }
  State& s = state();
  return s.has_command_line ? s.command_line.data() : nullptr;
}

DWORD GetCurrentProcessId() {
  CallScope scope("GetCurrentProcessId", L"");
  if (scope.failed()) {
    return scope.fault<DWORD>();
  }
  return state().process_id;
}

BOOL CreateProcessW(LPCWSTR application, LPWSTR command_line,
                    LPSECURITY_ATTRIBUTES process_attributes,
                    LPSECURITY_ATTRIBUTES thread_attributes, BOOL inherit_handles,
                    DWORD creation_flags, LPVOID environment, LPCWSTR working_dir,
                    LPSTARTUPINFOW startup_info, LPPROCESS_INFORMATION process_info) {
  CallScope scope("CreateProcessW", text_of(application));
  if (scope.failed()) {
    return scope.fault<BOOL>();
  }
  if (startup_info == nullptr || process_info == nullptr) {
    return fail_with(ERROR_INVALID_PARAMETER);
  }
  const std::wstring program = application != nullptr ? application : first_token(command_line);
  const fake::Node* image = find_node(path_name(program));
  if (image == nullptr) {
    return fail_with(ERROR_FILE_NOT_FOUND);
  }
  if (image->directory) {
    return fail_with(ERROR_ACCESS_DENIED);
  }
  if (!image->startable) {
    return fail_with(ERROR_BAD_EXE_FORMAT);
  }
  if (working_dir != nullptr && !dir_exists(path_name(working_dir))) {
    return fail_with(ERROR_DIRECTORY);
  }
  State& s = state();
  s.processes.push_back(fake::Process{text_of(application), text_of(command_line),
                                      process_attributes == nullptr, thread_attributes == nullptr,
                                      inherit_handles, creation_flags, environment == nullptr,
                                      text_of(working_dir), startup_info->cb,
                                      startup_info->dwFlags});
  const DWORD pid = s.next_pid++;
  const HANDLE process = reinterpret_cast<HANDLE>(new_handle_value());
  const HANDLE thread = reinterpret_cast<HANDLE>(new_handle_value());
  s.process_handles[process] = ProcessHandle{"process", pid, program, true};
  s.process_handles[thread] = ProcessHandle{"thread", pid, program, true};
  process_info->hProcess = process;
  process_info->hThread = thread;
  process_info->dwProcessId = pid;
  process_info->dwThreadId = pid + 1000;
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  State& s = state();
  auto found = s.process_handles.find(handle);
  CallScope scope("CloseHandle",
                  found == s.process_handles.end() ? L"unknown" : widen(found->second.kind));
  if (scope.failed()) {
    return scope.fault<BOOL>();
  }
  if (found == s.process_handles.end()) {
    char text[64];
    std::snprintf(text, sizeof(text), "CloseHandle was passed an unknown handle %p", handle);
    misuse(text);
    return fail_with(ERROR_INVALID_HANDLE);
  }
  if (!found->second.open) {
    misuse("CloseHandle was called twice on the " + found->second.kind + " handle of process " +
           std::to_string(found->second.pid) + " (" + narrow(found->second.application) + ")");
    return fail_with(ERROR_INVALID_HANDLE);
  }
  found->second.open = false;
  return TRUE;
}

void restrict_dll_search() { CallScope scope("restrict_dll_search", L""); }

}  // namespace win
