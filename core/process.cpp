#include "core/helpers.h"

bool start_process(const wchar_t* application, wchar_t (&command_line)[COMMAND_CAPACITY],
                   DWORD creation_flags, const wchar_t* working_dir) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!win::CreateProcessW(application, command_line, nullptr, nullptr, FALSE, creation_flags,
                           nullptr, working_dir, &startup, &process)) {
    return false;
  }
  win::CloseHandle(process.hThread);
  win::CloseHandle(process.hProcess);
  return true;
}
