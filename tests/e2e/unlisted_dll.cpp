// A DLL under a name that no list of the product holds; the DLL-search test
// loads it by bare name from beside the test program and from the current
// directory.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
