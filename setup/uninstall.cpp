#include "setup/uninstall.h"

// STUB: the uninstall flow is not built yet. It returns 0 without asking or
// touching anything.
int uninstall_app(const AppPaths&) { return 0; }
