// The end-to-end harness: prepares scenarios in the private Wine prefix,
// starts the real executable with an exact command line, reads and answers
// its message boxes, and waits for it with a bounded timeout.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

// Windows paths of the built programs, from the command line of e2e_tests.
extern std::wstring setup_exe;
extern std::wstring browser_exe;
// Where the screenshot program saves its pictures (--screens=); empty otherwise.
extern std::wstring screens_dir;

// The Windows path of a file under the Unix root (Wine's Z: drive).
std::wstring windows_path(const std::string& unix_path);
std::wstring known_folder(REFKNOWNFOLDERID id);
std::wstring local_app_data();
std::wstring install_dir();
std::wstring install_exe();
// Where the stand-in browser records its command line and working directory.
std::wstring record_path();
// Where the uninstall flow starts Windows PowerShell: System32's
// WindowsPowerShell\v1.0\powershell.exe.
std::wstring system_powershell();
// The stand-in browser's place under a folder that stands for Program Files.
std::wstring fake_edge();

// Removes what earlier scenarios left: the install folder, the record, the
// fake Edge folder, the App Paths registration.
void clean_world();
// The product's Desktop and Start-menu shortcut paths.
std::wstring desktop_link();
std::wstring programs_link();
// clean_world(), and what an install adds outside the install folder: both
// shortcuts (or folders standing in their place) and the uninstall key.
void clean_install();
void copy_file(const std::wstring& from, const std::wstring& to);
bool is_file(const std::wstring& path);
bool is_dir(const std::wstring& path);
void make_dirs(const std::wstring& path);
void register_edge(HKEY root, const std::wstring& value);
// True when HKCU holds the product's uninstall registration key.
bool uninstall_key_exists();
// The lines of a UTF-16 text file, each ended by a line feed; none if missing.
std::vector<std::wstring> read_lines(const std::wstring& path);
// Lines of the record: command line, working directory, per browser start.
std::vector<std::wstring> read_record();

struct Box {
  std::wstring caption;
  std::wstring text;
};
struct Run {
  bool finished = false;
  DWORD exit_code = 0;
  DWORD process_id = 0;
  std::vector<Box> boxes;
};
// Called once for each box, after its caption and text were read and before
// it is answered, with the box window and its index in Run::boxes.
using BoxHook = std::function<void(HWND window, const Box& box, size_t index)>;
// Starts `application` with exactly `command_line`, answers the boxes it
// shows with `answers` in order (IDOK once they are used up), and waits up to
// 30 s for it and every process it started to end.
// `working_dir` empty: the harness's own.
Run run(const std::wstring& application, const std::wstring& command_line,
        const std::vector<int>& answers = {}, const std::wstring& working_dir = L"",
        const BoxHook& before_answer = nullptr);

}  // namespace e2e
