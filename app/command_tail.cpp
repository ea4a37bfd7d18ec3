#include "app/command_tail.h"

const wchar_t* command_tail(const wchar_t* command_line) {
  if (command_line == nullptr) {
    return L"";
  }
  const wchar_t* at = command_line;
  bool in_quotes = false;
  while (*at != L'\0' && (*at > L' ' || in_quotes)) {
    if (*at == L'"') {
      in_quotes = !in_quotes;
    }
    ++at;
  }
  while (*at != L'\0' && *at <= L' ') {
    ++at;
  }
  return at;
}
