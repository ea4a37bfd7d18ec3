// The setup file's entry point: the loader calls korvela_start directly, and
// no C runtime start-up code runs before or after it. The program needs none:
// the logic keeps no global objects that need construction, reads no argv,
// allocates nothing, and derives its command-line tail itself. Every run is
// one call of wWinMain whose result is the process exit code.
#include "app/command_tail.h"
#include "platform/win.h"

// The linker places the image's DOS header at the module's base address, so
// its address is the instance handle without asking Windows for it.
extern "C" IMAGE_DOS_HEADER __ImageBase;

// Named as the entry point on the link line; takes nothing and never returns.
extern "C" DECLSPEC_NORETURN void korvela_start() {
  // The same tail that wWinMain derives for itself: the argument is passed in
  // the Windows convention, and the logic does not depend on it.
  const wchar_t* tail = command_tail(win::GetCommandLineW());
  const int exit_code = wWinMain(reinterpret_cast<HINSTANCE>(&__ImageBase), nullptr,
                                 const_cast<PWSTR>(tail), SW_SHOWDEFAULT);
  ::ExitProcess(static_cast<UINT>(exit_code));
}
