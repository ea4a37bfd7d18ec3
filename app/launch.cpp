#include "app/launch.h"

#include "core/format.h"
#include "core/helpers.h"
#include "core/messages.h"

namespace {

const wchar_t kEdgeBelowFolder[] = L"Microsoft\\Edge\\Application\\msedge.exe";

// The browser-path buffer's size in bytes (2048), handed to each registry query; the query
// overwrites it, so it is set again before every one.
constexpr DWORD kBrowserPathBytes = PATH_CAPACITY * sizeof(wchar_t);

bool registered_edge(HKEY root, wchar_t (&out)[PATH_CAPACITY]) {
  DWORD bytes = kBrowserPathBytes;
  if (win::RegGetValueW(root, APP_PATH_KEY, nullptr, RRF_RT_REG_SZ, nullptr, out, &bytes) !=
      ERROR_SUCCESS) {
    return false;
  }
  return file_exists(out);
}

bool edge_below_variable(const wchar_t* variable, wchar_t (&out)[PATH_CAPACITY]) {
  wchar_t folder[PATH_CAPACITY];
  if (!path_length_ok(win::GetEnvironmentVariableW(variable, folder, PATH_CAPACITY))) {
    return false;
  }
  if (!join_path(out, folder, kEdgeBelowFolder)) {
    return false;
  }
  return file_exists(out);
}

}  // namespace

bool edge_install_path(wchar_t (&out)[PATH_CAPACITY]) {
  return registered_edge(HKEY_CURRENT_USER, out) || registered_edge(HKEY_LOCAL_MACHINE, out) ||
         edge_below_variable(L"ProgramFiles(x86)", out) ||
         edge_below_variable(L"ProgramFiles", out) || edge_below_variable(L"LOCALAPPDATA", out);
}

int launch_app(const AppPaths& paths) {
  wchar_t browser[PATH_CAPACITY];
  if (!edge_install_path(browser)) {
    return show_error(MSG_EDGE_NOT_FOUND);
  }
  wchar_t profile[PATH_CAPACITY];
  if (!join_path(profile, paths.install_dir, PROFILE_DIR_NAME) || !ensure_directory(profile)) {
    return show_error(MSG_LAUNCH_ERROR);
  }
  wchar_t command_line[COMMAND_CAPACITY];
  if (!format_text(command_line, L"\"%ls\" --app=\"%ls\" --user-data-dir=\"%ls\" --no-first-run",
                   browser, ERP_URL, profile)) {
    return show_error(MSG_LAUNCH_ERROR);
  }
  if (!start_process(browser, command_line, 0, paths.install_dir)) {
    return show_error(MSG_LAUNCH_ERROR);
  }
  return 0;
}
