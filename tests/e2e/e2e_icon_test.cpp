// The icon the shell hands out for the installed executable, with index 0 as
// the shortcuts and the installed-programs entry ask for it, is the product's
// own 32-pixel image, pixel for pixel.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> bgra;  // top row first
};

// The PNG decoded by the Windows Imaging Component, as straight BGRA.
Image decode_png(const std::wstring& path) {
  Image image;
  IWICImagingFactory* factory = nullptr;
  IWICBitmapDecoder* decoder = nullptr;
  IWICBitmapFrameDecode* frame = nullptr;
  IWICFormatConverter* converter = nullptr;
  UINT width = 0, height = 0;
  if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_PPV_ARGS(&factory))) &&
      SUCCEEDED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                   WICDecodeMetadataCacheOnDemand, &decoder)) &&
      SUCCEEDED(decoder->GetFrame(0, &frame)) &&
      SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
      SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                      nullptr, 0.0, WICBitmapPaletteTypeCustom)) &&
      SUCCEEDED(converter->GetSize(&width, &height))) {
    std::vector<uint32_t> pixels(width * height);
    if (SUCCEEDED(converter->CopyPixels(nullptr, width * 4, width * height * 4,
                                        reinterpret_cast<BYTE*>(pixels.data())))) {
      image.width = static_cast<int>(width);
      image.height = static_cast<int>(height);
      image.bgra = pixels;
    }
  }
  if (converter) converter->Release();
  if (frame) frame->Release();
  if (decoder) decoder->Release();
  if (factory) factory->Release();
  return image;
}

// The colour bitmap of an icon, as BGRA with its alpha.
Image icon_pixels(HICON icon) {
  Image image;
  ICONINFO info = {};
  if (!GetIconInfo(icon, &info)) return image;
  BITMAP bitmap = {};
  if (info.hbmColor && GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap)) {
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = bitmap.bmWidth;
    format.bmiHeader.biHeight = -bitmap.bmHeight;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(bitmap.bmWidth * bitmap.bmHeight);
    HDC screen = GetDC(nullptr);
    if (GetDIBits(screen, info.hbmColor, 0, bitmap.bmHeight, pixels.data(), &format,
                  DIB_RGB_COLORS) == bitmap.bmHeight) {
      image.width = bitmap.bmWidth;
      image.height = bitmap.bmHeight;
      image.bgra = pixels;
    }
    ReleaseDC(nullptr, screen);
  }
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return image;
}

class InstalledIcon : public ::testing::Test {
 protected:
  void SetUp() override {
    clean();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  }
  void TearDown() override {
    CoUninitialize();
    clean();
  }
  static void clean() { e2e::clean_install(); }
};

TEST_F(InstalledIcon, TheShellHandsOutTheProductIconForTheInstalledExecutable) {
  const std::wstring browser = e2e::fake_edge();
  e2e::make_dirs(browser.substr(0, browser.rfind(L'\\')));
  e2e::copy_file(e2e::browser_exe, browser);
  e2e::register_edge(HKEY_CURRENT_USER, browser);
  const e2e::Run run = e2e::run(e2e::setup_exe, L"\"" + e2e::setup_exe + L"\"", {IDOK});
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.exit_code, 0u);
  const std::wstring installed = e2e::install_exe();
  ASSERT_TRUE(e2e::is_file(installed));

  EXPECT_EQ(ExtractIconExW(installed.c_str(), -1, nullptr, nullptr, 0), 1u)
      << "the executable must hold exactly one icon group";
  HICON large = nullptr;
  HICON small = nullptr;
  ASSERT_EQ(ExtractIconExW(installed.c_str(), 0, &large, &small, 1), 2u);
  ASSERT_NE(large, nullptr);
  ASSERT_NE(small, nullptr);

  const Image shown = icon_pixels(large);
  const Image drawn = decode_png(e2e::windows_path(KORVELA_E2E_ICON_32));
  DestroyIcon(large);
  DestroyIcon(small);
  ASSERT_EQ(drawn.width, 32) << "icon-32.png could not be decoded";
  ASSERT_EQ(shown.width, 32);
  ASSERT_EQ(shown.height, 32);
  int differing = 0;
  for (size_t i = 0; i < drawn.bgra.size(); ++i) {
    if (shown.bgra[i] != drawn.bgra[i]) ++differing;
  }
  EXPECT_EQ(differing, 0) << "pixels of the shell's icon that differ from icon-32.png";
}

}  // namespace
