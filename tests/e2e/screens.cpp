// Brings the real executable into each of its message boxes under Wine,
// checks the caption and text it shows against the product's constants, and
// saves the box as it is on screen, cropped to its window, as a PNG named
// after the box in the folder given with --screens=.
//
// The PNG written here is plain (RGB, stored deflate blocks): always valid and
// byte-for-byte the same for the same pixels. tools/screens.sh recompresses it.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/constants.h"
#include "core/messages.h"
#include "tests/e2e/harness.h"

namespace {

// ---- Capture ---------------------------------------------------------------

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // top row first, three bytes a pixel
  bool operator==(const Picture& other) const {
    return width == other.width && height == other.height && rgb == other.rgb;
  }
};

// The box's window rectangle as the screen shows it now.
bool grab(HWND box, Picture& out) {
  RECT rect;
  if (!GetWindowRect(box, &rect)) return false;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (dib != nullptr && bits != nullptr) {
    HGDIOBJ previous = SelectObject(memory, dib);
    ok = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY | CAPTUREBLT);
    GdiFlush();
    if (ok) {
      out.width = width;
      out.height = height;
      out.rgb.resize(static_cast<size_t>(width) * height * 3);
      const uint8_t* bgrx = static_cast<const uint8_t*>(bits);
      for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
        out.rgb[i * 3 + 0] = bgrx[i * 4 + 2];
        out.rgb[i * 3 + 1] = bgrx[i * 4 + 1];
        out.rgb[i * 3 + 2] = bgrx[i * 4 + 0];
      }
    }
    SelectObject(memory, previous);
  }
  if (dib != nullptr) DeleteObject(dib);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

size_t colour_count_up_to(const Picture& picture, size_t limit) {
  std::vector<uint32_t> seen;
  for (size_t i = 0; i + 2 < picture.rgb.size() && seen.size() < limit; i += 3) {
    const uint32_t colour = (picture.rgb[i] << 16) | (picture.rgb[i + 1] << 8) | picture.rgb[i + 2];
    bool known = false;
    for (uint32_t c : seen) known = known || c == colour;
    if (!known) seen.push_back(colour);
  }
  return seen.size();
}

// The box once it is fully painted: its text control is visible and two
// captures a poll apart are identical (and not a blank, unpainted area).
// Bounded: fails after 10 s.
bool capture_settled(HWND box, Picture& out, std::string& why) {
  const DWORD kLimitMs = 10000;
  const DWORD kPollMs = 100;
  HWND text = GetDlgItem(box, 0xFFFF);
  const DWORD start = GetTickCount();
  Picture previous;
  bool have_previous = false;
  bool asked_to_paint = false;
  while (GetTickCount() - start < kLimitMs) {
    if (text != nullptr && IsWindowVisible(box) && IsWindowVisible(text)) {
      if (!asked_to_paint) {
        // Whatever the box painted before it was mapped is drawn again now.
        RedrawWindow(box, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        asked_to_paint = true;
      }
      Picture current;
      if (grab(box, current) && colour_count_up_to(current, 8) >= 8) {
        if (have_previous && current == previous) {
          out = current;
          return true;
        }
        previous = current;
        have_previous = true;
      }
    }
    // The pace of a bounded poll of the screen.
    Sleep(kPollMs);
  }
  why = text == nullptr ? "the box has no text control (id 0xFFFF)"
        : !have_previous ? "no painted capture of the box"
                         : "the box's picture did not settle";
  return false;
}

// ---- PNG (RGB, stored deflate blocks) --------------------------------------

uint32_t crc32_of(const uint8_t* data, size_t size, uint32_t crc = 0) {
  static uint32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
    ready = true;
  }
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void put_be32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void put_chunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& data) {
  put_be32(out, static_cast<uint32_t>(data.size()));
  std::vector<uint8_t> typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  out.insert(out.end(), typed.begin(), typed.end());
  put_be32(out, crc32_of(typed.data(), typed.size()));
}

std::vector<uint8_t> png_of(const Picture& picture) {
  std::vector<uint8_t> raw;  // each row: filter type 0, then its pixels
  const size_t row_bytes = static_cast<size_t>(picture.width) * 3;
  for (int y = 0; y < picture.height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), picture.rgb.begin() + y * row_bytes,
               picture.rgb.begin() + (y + 1) * row_bytes);
  }
  std::vector<uint8_t> zlib = {0x78, 0x01};
  for (size_t at = 0; at < raw.size() || at == 0;) {
    const size_t length = std::min<size_t>(65535, raw.size() - at);
    const bool last = at + length == raw.size();
    zlib.push_back(last ? 1 : 0);
    zlib.push_back(static_cast<uint8_t>(length));
    zlib.push_back(static_cast<uint8_t>(length >> 8));
    zlib.push_back(static_cast<uint8_t>(~length));
    zlib.push_back(static_cast<uint8_t>(~length >> 8));
    zlib.insert(zlib.end(), raw.begin() + at, raw.begin() + at + length);
    at += length;
    if (last) break;
  }
  uint32_t a = 1, b = 0;
  for (uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  put_be32(zlib, (b << 16) | a);

  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  put_be32(header, static_cast<uint32_t>(picture.width));
  put_be32(header, static_cast<uint32_t>(picture.height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
  put_chunk(png, "IHDR", header);
  put_chunk(png, "IDAT", zlib);
  put_chunk(png, "IEND", {});
  return png;
}

bool write_file(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  CloseHandle(file);
  return ok;
}

std::string narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

// ---- Scenarios ---------------------------------------------------------------

class Screens : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(e2e::screens_dir.empty()) << "give the folder for the pictures with --screens=";
    ASSERT_TRUE(e2e::is_dir(e2e::screens_dir)) << "no folder " << narrow(e2e::screens_dir);
    desktop_link_ = e2e::desktop_link();
    programs_link_ = e2e::programs_link();
    clean();
    setup_ = e2e::known_folder(FOLDERID_Downloads) + L"\\" + L"" PRODUCT_SETUP_FILE;
    e2e::copy_file(e2e::setup_exe, setup_);
  }
  void TearDown() override {
    DeleteFileW(setup_.c_str());
    clean();
  }
  void clean() { e2e::clean_install(); }
  void register_browser() {
    const std::wstring browser = e2e::fake_edge();
    e2e::make_dirs(browser.substr(0, browser.rfind(L'\\')));
    e2e::copy_file(e2e::browser_exe, browser);
    e2e::register_edge(HKEY_CURRENT_USER, browser);
  }
  // The executable where the install puts it, as after an install.
  void place_installed() {
    e2e::make_dirs(e2e::install_dir());
    e2e::copy_file(e2e::setup_exe, e2e::install_exe());
  }
  e2e::Run run_setup(const std::vector<int>& answers, const e2e::BoxHook& hook) {
    return e2e::run(setup_, L"\"" + setup_ + L"\"", answers, L"", hook);
  }
  e2e::Run run_installed(const std::wstring& tail, const std::vector<int>& answers,
                         const e2e::BoxHook& hook) {
    return e2e::run(e2e::install_exe(), L"\"" + e2e::install_exe() + L"\"" + tail, answers, L"",
                    hook);
  }

  // Checks every box of the run against `expected` and saves box number
  // `shot` as <name>.png once its caption and text are the product's.
  e2e::BoxHook shoot(size_t shot, const char* name, std::vector<const wchar_t*> expected) {
    expected_ = expected;
    saved_ = false;
    // A picture left by an earlier run must not pass for this one's.
    DeleteFileW(picture_path(name).c_str());
    return [this, shot, name](HWND window, const e2e::Box& box, size_t index) {
      SCOPED_TRACE(testing::Message() << name << ", box " << index);
      ASSERT_LT(index, expected_.size()) << "an unexpected box: " << narrow(box.text);
      EXPECT_EQ(box.caption, APP_NAME);
      EXPECT_EQ(box.text, expected_[index]);
      if (index != shot || box.caption != APP_NAME || box.text != expected_[index]) return;
      Picture picture;
      std::string why;
      ASSERT_TRUE(capture_settled(window, picture, why)) << why;
      const std::wstring path = picture_path(name);
      ASSERT_TRUE(write_file(path, png_of(picture))) << "cannot write " << narrow(path);
      saved_ = true;
    };
  }
  static std::wstring picture_path(const char* name) {
    return e2e::screens_dir + L"\\" + std::wstring(name, name + strlen(name)) + L".png";
  }
  void expect_run(const e2e::Run& run, DWORD exit_code) {
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, exit_code);
    EXPECT_EQ(run.boxes.size(), expected_.size());
    EXPECT_TRUE(saved_) << "the box to capture did not appear";
  }

  std::wstring setup_, desktop_link_, programs_link_;
  std::vector<const wchar_t*> expected_;
  bool saved_ = false;
};

TEST_F(Screens, InstallPrompt) {
  register_browser();
  const e2e::Run run = run_setup({IDCANCEL}, shoot(0, "install-prompt", {MSG_INSTALL_PROMPT}));
  expect_run(run, 0);
}

// A folder standing where the Desktop shortcut goes: the copy and the
// registration succeed, the shortcut does not.
TEST_F(Screens, InstallWarning) {
  register_browser();
  ASSERT_TRUE(CreateDirectoryW(desktop_link_.c_str(), nullptr));
  const e2e::Run run = run_setup(
      {IDOK}, shoot(1, "install-warning", {MSG_INSTALL_PROMPT, MSG_INSTALL_WARNING}));
  expect_run(run, 0);
  EXPECT_EQ(e2e::read_record().size(), 2u) << "the ERP should have opened after the warning";
}

// A folder standing where the installed executable goes: the copy cannot
// take its place.
TEST_F(Screens, InstallError) {
  register_browser();
  e2e::make_dirs(e2e::install_exe());
  const e2e::Run run =
      run_setup({IDOK}, shoot(1, "install-error", {MSG_INSTALL_PROMPT, MSG_INSTALL_ERROR}));
  expect_run(run, 1);
}

TEST_F(Screens, EdgeNotFound) {
  place_installed();
  const e2e::Run run = run_installed(L"", {}, shoot(0, "edge-not-found", {MSG_EDGE_NOT_FOUND}));
  expect_run(run, 1);
}

// The registered msedge.exe is a text file: the browser cannot be started.
TEST_F(Screens, LaunchError) {
  place_installed();
  const std::wstring browser = e2e::fake_edge();
  e2e::make_dirs(browser.substr(0, browser.rfind(L'\\')));
  ASSERT_TRUE(write_file(browser, std::vector<uint8_t>{'n', 'o', 't', ' ', 'a', 'n', ' ', 'e',
                                                       'x', 'e', '\r', '\n'}));
  e2e::register_edge(HKEY_CURRENT_USER, browser);
  const e2e::Run run = run_installed(L"", {}, shoot(0, "launch-error", {MSG_LAUNCH_ERROR}));
  expect_run(run, 1);
}

// Local Application Data redirected to a folder that does not exist, as a
// profile whose redirected folders are out of reach: the known folder cannot
// be resolved.
class PathsScreen : public Screens {
 protected:
  static constexpr const wchar_t* kFolders =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  static constexpr const wchar_t* kValue = L"Local AppData";
  void SetUp() override {
    Screens::SetUp();
    wchar_t value[2048] = {};
    DWORD bytes = sizeof(value);
    DWORD type = 0;
    had_value_ = RegGetValueW(HKEY_CURRENT_USER, kFolders, kValue, RRF_RT_ANY | RRF_NOEXPAND, &type,
                              value, &bytes) == ERROR_SUCCESS;
    saved_type_ = type;
    saved_value_ = value;
  }
  void TearDown() override {
    restore();
    Screens::TearDown();
  }
  void redirect(const std::wstring& folder) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kFolders, kValue, REG_EXPAND_SZ, folder.c_str(),
                              static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  void restore() {
    if (had_value_) {
      RegSetKeyValueW(HKEY_CURRENT_USER, kFolders, kValue, saved_type_, saved_value_.c_str(),
                      static_cast<DWORD>((saved_value_.size() + 1) * sizeof(wchar_t)));
    } else {
      HKEY key = nullptr;
      if (RegOpenKeyExW(HKEY_CURRENT_USER, kFolders, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, kValue);
        RegCloseKey(key);
      }
    }
  }
  bool had_value_ = false;
  DWORD saved_type_ = REG_EXPAND_SZ;
  std::wstring saved_value_;
};

TEST_F(PathsScreen, PathsError) {
  ASSERT_TRUE(had_value_) << "the prefix names no Local AppData folder";
  redirect(L"C:\\korvela-screens-missing\\AppData\\Local");
  const e2e::Run run = run_setup({}, shoot(0, "paths-error", {MSG_PATHS_ERROR}));
  restore();
  expect_run(run, 1);
}

// The uninstall command with Windows PowerShell at its usual place or, for
// the error, moved aside.
class UninstallScreens : public Screens {
 protected:
  void SetUp() override {
    Screens::SetUp();
    powershell_ = e2e::system_powershell();
    aside_ = powershell_ + L".korvela-screens";
    place_installed();
  }
  void TearDown() override {
    if (e2e::is_file(aside_)) MoveFileExW(aside_.c_str(), powershell_.c_str(), MOVEFILE_REPLACE_EXISTING);
    Screens::TearDown();
  }
  std::wstring powershell_, aside_;
};

TEST_F(UninstallScreens, UninstallPrompt) {
  const e2e::Run run =
      run_installed(L" --uninstall", {IDNO}, shoot(0, "uninstall-prompt", {MSG_UNINSTALL_PROMPT}));
  expect_run(run, 0);
  EXPECT_TRUE(e2e::is_file(e2e::install_exe()));
}

TEST_F(UninstallScreens, UninstallError) {
  if (e2e::is_file(powershell_)) {
    ASSERT_TRUE(MoveFileExW(powershell_.c_str(), aside_.c_str(), MOVEFILE_REPLACE_EXISTING));
  }
  const e2e::Run run = run_installed(
      L" --uninstall", {IDYES},
      shoot(1, "uninstall-error", {MSG_UNINSTALL_PROMPT, MSG_UNINSTALL_ERROR}));
  expect_run(run, 1);
  EXPECT_TRUE(e2e::is_file(e2e::install_exe()));
}

}  // namespace
