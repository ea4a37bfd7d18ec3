/* The least a launcher has to do to open the ERP the way the installed
   KORVELA ERP.exe does: resolve Local AppData once, start the browser once with
   the same application, command line, creation flags and working directory,
   and exit. bench-launch.sh times it against the product; whatever the product
   costs beyond this is its own overhead.

   Built by bench-launch.sh with -I core -I build/generated, so that the
   product name and the ERP host come from the same headers as the product's
   (core/product.h, erp_host.h), and with BENCH_BROWSER_DIR naming the folder
   below Local AppData where the script puts the stand-in browser and to which
   it points the HKCU App Paths registration the product reads. */
#include <windows.h>
#include <shlobj.h>

#include "erp_host.h"
#include "product.h"

#ifndef BENCH_BROWSER_DIR
#error "BENCH_BROWSER_DIR must name the stand-in browser's folder below Local AppData"
#endif

#define WIDE_(text) L##text
#define WIDE(text) WIDE_(text)

/* The same texts as APP_NAME, ERP_URL and PROFILE_DIR_NAME in core/constants.h
   and the format in app/launch.cpp. */
static const wchar_t kInstallDir[] = L"\\" WIDE(PRODUCT_NAME);
static const wchar_t kBrowser[] = L"\\" WIDE(BENCH_BROWSER_DIR) L"\\msedge.exe";
static const wchar_t kAppArgument[] = L"\" --app=\"https://" WIDE(ERP_HOST) L"/korvela\" --user-data-dir=\"";
static const wchar_t kProfile[] = L"\\ERP Profile\" --no-first-run";

/* Appends `text` at `at`, refusing to write at or beyond `end`; a plain loop,
   so that the floor makes no call the product's launch does not need. */
static wchar_t* append(wchar_t* at, const wchar_t* end, const wchar_t* text) {
  if (at == NULL) {
    return NULL;
  }
  while (*text != L'\0') {
    if (at >= end - 1) {
      return NULL;
    }
    *at++ = *text++;
  }
  *at = L'\0';
  return at;
}

#define END(buffer) ((buffer) + sizeof(buffer) / sizeof((buffer)[0]))

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR tail, int show) {
  (void)instance;
  (void)previous;
  (void)tail;
  (void)show;
  PWSTR folder = NULL;
  if (FAILED(SHGetKnownFolderPath(&FOLDERID_LocalAppData, 0, NULL, &folder)) || folder == NULL) {
    CoTaskMemFree(folder);
    return 1;
  }
  /* The product's capacities (PATH_CAPACITY, COMMAND_CAPACITY). */
  wchar_t install_dir[1024];
  wchar_t browser[1024];
  wchar_t command_line[4096];
  const int paths_fit = append(append(install_dir, END(install_dir), folder), END(install_dir),
                               kInstallDir) != NULL &&
                        append(append(browser, END(browser), folder), END(browser), kBrowser) != NULL;
  CoTaskMemFree(folder);
  if (!paths_fit) {
    return 1;
  }

  /* "<browser>" --app="<url>" --user-data-dir="<install dir>\ERP Profile" --no-first-run */
  wchar_t* at = append(command_line, END(command_line), L"\"");
  at = append(at, END(command_line), browser);
  at = append(at, END(command_line), kAppArgument);
  at = append(at, END(command_line), install_dir);
  if (append(at, END(command_line), kProfile) == NULL) {
    return 1;
  }

  STARTUPINFOW startup = {0};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {0};
  if (!CreateProcessW(browser, command_line, NULL, NULL, FALSE, 0, NULL, install_dir, &startup,
                      &process)) {
    return 1;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}
