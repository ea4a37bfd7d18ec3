#pragma once

#include "core/constants.h"
#include "platform/win.h"

// The path of the shortcut APP_LINK directly in the known folder `folder_id`
// (FOLDERID_Desktop or FOLDERID_Programs), which is created when missing.
// True when `out` (PATH_CAPACITY units) holds it; after false `out` is not to
// be used. Needs no COM.
bool shortcut_path(REFKNOWNFOLDERID folder_id, wchar_t (&out)[PATH_CAPACITY]);

// Saves a shell link to `target` (working directory `working_dir`, the
// description "打开 KORVELA ERP", icon `target` index 0) at shortcut_path of
// `folder_id`, over any earlier one. True exactly when the file was saved.
// The calling thread must have COM initialised (apartment-threaded). Both
// interfaces obtained here are released before it returns.
bool create_shortcut(REFKNOWNFOLDERID folder_id, const wchar_t* target, const wchar_t* working_dir);
