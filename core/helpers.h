// The small helpers every flow uses. None keeps state; none shows anything but
// show_error. Paths are NUL-terminated UTF-16.
#pragma once

#include "core/constants.h"
#include "platform/win.h"

// Writes the full path of the known folder `folder_id` into `out`
// (PATH_CAPACITY units). `flags` is 0 (look up only) or KF_FLAG_CREATE (create
// the folder when missing). True when `out` holds the whole path (at most 1023
// units). After false `out` is not to be used. The block Windows hands out is
// freed before the function returns, on every road.
bool known_folder_path(REFKNOWNFOLDERID folder_id, DWORD flags, wchar_t (&out)[PATH_CAPACITY]);

// True when a directory exists at `path` on return: created here (one level
// only; the parent must exist) or already there.
bool ensure_directory(const wchar_t* path);

// True when something that is not a directory exists at `path` (hidden,
// read-only and system files included).
bool file_exists(const wchar_t* path);

// Starts `application` with `command_line` (a writable COMMAND_CAPACITY buffer
// whose first token is `application` in double quotes), `creation_flags`, the
// launcher's environment and `working_dir`. True when the process was created;
// both of its handles are then already closed (the child is never waited for).
// False: nothing was created and there is nothing to release.
bool start_process(const wchar_t* application, wchar_t (&command_line)[COMMAND_CAPACITY],
                   DWORD creation_flags, const wchar_t* working_dir);

// Shows `text` in an error box captioned APP_NAME with no owner and returns 1,
// the exit code of a run that ends in an error, however the box ended.
int show_error(const wchar_t* text);
