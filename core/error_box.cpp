#include "core/helpers.h"

int show_error(const wchar_t* text) {
  win::MessageBoxW(nullptr, text, APP_NAME, MB_ICONERROR);
  return 1;
}
