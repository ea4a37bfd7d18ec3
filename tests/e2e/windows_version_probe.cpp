// Ends with GetVersion's result as its exit code: the Windows version that a
// program started now sees. Built with the product's manifest.
#include <windows.h>

int main() { return static_cast<int>(GetVersion()); }
