#pragma once

// The command-line tail of `command_line`, the process's whole command line:
// what follows the program name (double quotes respected) and the control
// units and blanks (U+0001 to U+0020) after it. Never null: a null or empty
// line, or one that is all program name, gives the empty string. Points into
// `command_line` (or at a static empty string); nothing to release.
const wchar_t* command_tail(const wchar_t* command_line);
