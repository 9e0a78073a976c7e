// A button image from the program's resources: one or more states side by side (normal,
// then greyed), magenta marking the transparent pixels.
#pragma once

#include <windows.h>

#include "framework/win_handle.h"

namespace framework {

class Glyph {
 public:
  enum State { kNormal = 0, kGreyed = 1 };

  Glyph() = default;
  // Loads BITMAP resource `id` of the program file; an absent resource gives an empty glyph.
  Glyph(int resource_id, int states);

  bool Empty() const { return !bitmap_; }
  int Width() const { return width_; }  // of one state
  int Height() const { return height_; }
  // Draws one state with its top left corner at (x, y); a missing state draws the first.
  void Draw(HDC dc, int x, int y, State state) const;

 private:
  ScopedGdiObject bitmap_;
  int states_ = 1;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace framework
