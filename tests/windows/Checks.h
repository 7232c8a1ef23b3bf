#pragma once
// What the Windows test programs share: counted checks, pictures drawn into
// memory, texts compared whole with files under tests/data/windows (BRV_RENEW=1
// rewrites them: review the diff).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace brv::wintest {

inline int passed = 0, failed = 0;

inline void Check(bool ok, const std::string& what) {
  if (!ok) std::printf("FAIL: %s\n", what.c_str());
  ++(ok ? passed : failed);
}

inline std::string Narrow(const std::wstring& text) {
  std::string out(text.size() * 3, '\0');
  out.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                                     static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
}

inline void Check(bool ok, const std::wstring& what) { Check(ok, Narrow(what)); }

inline int Summary(const char* name) {
  std::printf("%s: %d passed, %d failed\n", name, passed, failed);
  return failed == 0 && passed > 0 ? 0 : 1;
}

inline std::string Hex(long n) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(n));
  return text;
}

inline void ExpectGolden(const std::string& name, const std::string& text) {
  const std::string path = std::string(BRV_TEST_DATA) + "/windows/" + name;
  std::stringstream want;
  want << std::ifstream(path, std::ios::binary).rdbuf();
  Check(text == want.str(), path + " differs, the text is:\n" + text);
  if (std::getenv("BRV_RENEW")) std::ofstream(path, std::ios::binary) << text;
}

// A picture's pixels as 0x00RRGGBB, row by row from the top.
struct Pixels {
  int width, height;
  std::vector<DWORD> data;
  COLORREF At(int x, int y) const {
    const DWORD p = data[static_cast<size_t>(y * width + x)];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }
};

// Draws into a 32-bit bitmap through `draw` (given the memory DC).
template <class Draw>
Pixels Capture(int width, int height, Draw draw) {
  BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
  void* bits = nullptr;
  HDC screen = GetDC(nullptr), dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  draw(dc);
  GdiFlush();
  const DWORD* p = static_cast<const DWORD*>(bits);
  Pixels out{width, height, std::vector<DWORD>(p, p + width * height)};
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return out;
}

}  // namespace brv::wintest
