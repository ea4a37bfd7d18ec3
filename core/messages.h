// Every text the user can see: the message boxes' texts. All boxes are
// captioned APP_NAME and have no owner window.
#pragma once

// Entry: the four install paths could not be resolved.
inline constexpr wchar_t MSG_PATHS_ERROR[] = L"无法读取 Windows 安装目录。";

// Launch.
inline constexpr wchar_t MSG_EDGE_NOT_FOUND[] =
    L"找不到 Microsoft Edge。安装 Microsoft Edge 后，请重新打开 KORVELA ERP。";
inline constexpr wchar_t MSG_LAUNCH_ERROR[] = L"无法启动 KORVELA ERP。请重新打开应用。";

// Install.
inline constexpr wchar_t MSG_INSTALL_PROMPT[] =
    L"安装 KORVELA ERP，并添加桌面和开始菜单快捷方式？";
inline constexpr wchar_t MSG_INSTALL_ERROR[] = L"无法安装。请关闭正在运行的 ERP 应用后重试。";
inline constexpr wchar_t MSG_INSTALL_WARNING[] =
    L"ERP 已安装。部分快捷方式或卸载登记未完成，可再次运行安装程序修复。";

// Uninstall.
inline constexpr wchar_t MSG_UNINSTALL_PROMPT[] = L"卸载 KORVELA ERP？浏览器配置将保留。";
inline constexpr wchar_t MSG_UNINSTALL_ERROR[] = L"无法完成卸载。请重新运行卸载程序。";
