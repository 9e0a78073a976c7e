#include "framework/glyph.h"

namespace framework {

namespace {
constexpr COLORREF kTransparent = RGB(0xFF, 0x00, 0xFF);
}

Glyph::Glyph(int resource_id, int states) : states_(states < 1 ? 1 : states) {
  bitmap_.reset(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource_id), IMAGE_BITMAP,
                           0, 0, LR_CREATEDIBSECTION));
  BITMAP info{};
  if (bitmap_ && GetObjectW(bitmap_.get(), sizeof info, &info)) {
    width_ = info.bmWidth / states_;
    height_ = info.bmHeight;
  }
}

void Glyph::Draw(HDC dc, int x, int y, State state) const {
  if (Empty()) return;
  ScopedMemoryDc source(CreateCompatibleDC(dc));
  SelectGuard select(source.get(), bitmap_.get());
  const int column = state < states_ ? state : 0;
  TransparentBlt(dc, x, y, width_, height_, source.get(), column * width_, 0, width_, height_,
                 kTransparent);
}

}  // namespace framework
