// memset and memcpy for the setup file, which links no C runtime: GCC may emit
// calls to them for zero-filled structures and block copies even where the
// source calls neither (today's code happens to give none, but any change of
// a structure or of the compiler may). Built with -ffreestanding so that GCC
// does not recognise these very loops as memset and memcpy and call them from
// inside themselves; the attribute says the same where the flag might be lost.
#include <stddef.h>

extern "C" {

__attribute__((optimize("no-tree-loop-distribute-patterns")))
void* memset(void* destination, int value, size_t bytes) {
  unsigned char* at = static_cast<unsigned char*>(destination);
  for (size_t i = 0; i < bytes; ++i) {
    at[i] = static_cast<unsigned char>(value);
  }
  return destination;
}

__attribute__((optimize("no-tree-loop-distribute-patterns")))
void* memcpy(void* destination, const void* source, size_t bytes) {
  unsigned char* to = static_cast<unsigned char*>(destination);
  const unsigned char* from = static_cast<const unsigned char*>(source);
  for (size_t i = 0; i < bytes; ++i) {
    to[i] = from[i];
  }
  return destination;
}

}  // extern "C"
