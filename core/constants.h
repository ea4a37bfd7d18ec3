// The product constants and the two buffer capacities.
#pragma once

#include <stddef.h>

#include "core/product.h"
#include "erp_host.h"  // generated at configure time from the ERP_HOST setting

// Capacities in UTF-16 code units, terminator included: every path buffer holds
// at most 1023 units of text, every command-line buffer at most 4095.
inline constexpr size_t PATH_CAPACITY = 1024;
inline constexpr size_t COMMAND_CAPACITY = 4096;

inline constexpr wchar_t APP_NAME[] = L"" PRODUCT_NAME;
inline constexpr wchar_t APP_EXE[] = L"" PRODUCT_NAME ".exe";
inline constexpr wchar_t APP_LINK[] = L"" PRODUCT_NAME ".lnk";
inline constexpr wchar_t UNINSTALL_KEY[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" PRODUCT_NAME;
inline constexpr wchar_t ERP_URL[] = L"https://" ERP_HOST "/korvela";
inline constexpr wchar_t APP_PATH_KEY[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\msedge.exe";
inline constexpr wchar_t APP_VERSION[] = L"" PRODUCT_VERSION;
inline constexpr wchar_t APP_PUBLISHER[] = L"" PRODUCT_PUBLISHER;
inline constexpr wchar_t PROFILE_DIR_NAME[] = L"ERP Profile";

static_assert(sizeof(APP_NAME) / sizeof(wchar_t) - 1 == 11, "install paths assume an 11-unit name");
static_assert(sizeof(APP_EXE) / sizeof(wchar_t) - 1 == 15, "install paths assume a 15-unit file name");
