// Writes a window's picture as a PNG file (RGB, 8 bits per channel) for people to look at.
#pragma once

#include <windows.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace testing_support {

inline void PutBigEndian(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

inline void PutChunk(std::vector<uint8_t>& out, const char* type,
                     const std::vector<uint8_t>& data) {
  PutBigEndian(out, static_cast<uint32_t>(data.size()));
  size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutBigEndian(out, static_cast<uint32_t>(crc32(0, out.data() + start, out.size() - start)));
}

// What the screen shows at a window's place, frame included, as 0x00RRGGBB pixels row by
// row. Wine's PrintWindow leaves the child controls out, so this reads the screen.
struct Capture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

inline Capture CaptureWindow(HWND hwnd) {
  RECT r;
  GetWindowRect(hwnd, &r);
  Capture c;
  c.width = r.right - r.left;
  c.height = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = c.width;
  bi.bmiHeader.biHeight = -c.height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, dib);
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  BitBlt(mem, 0, 0, c.width, c.height, screen, r.left, r.top, SRCCOPY);
  const auto* px = static_cast<const uint32_t*>(bits);
  c.pixels.assign(px, px + static_cast<size_t>(c.width) * c.height);
  for (auto& p : c.pixels) p &= 0xFFFFFF;
  SelectObject(mem, old);
  DeleteObject(dib);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return c;
}

// Captures the whole window (frame included) and writes it to path; false on failure.
inline bool SaveWindowPng(HWND hwnd, const std::string& path) {
  const Capture c = CaptureWindow(hwnd);
  const int w = c.width, h = c.height;
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(h) * (w * 3 + 1));
  for (int y = 0; y < h; ++y) {
    raw.push_back(0);
    for (int x = 0; x < w; ++x) {
      const uint32_t p = c.At(x, y);
      raw.insert(raw.end(), {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                             static_cast<uint8_t>(p)});
    }
  }

  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(packed_size);
  if (compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK)
    return false;
  packed.resize(packed_size);
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  PutBigEndian(header, w);
  PutBigEndian(header, h);
  header.insert(header.end(), {8, 2, 0, 0, 0});
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", packed);
  PutChunk(png, "IEND", {});
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace testing_support
