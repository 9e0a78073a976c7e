// Controls that the system's classes do not draw the way the program's forms want them:
// push buttons with an image beside their caption, and flat image buttons.
#pragma once

#include <windows.h>

#include "framework/glyph.h"

namespace framework {

// Paints an owner-drawn push button (BS_OWNERDRAW): face, frame, the glyph left of the
// caption with the pair centred, greyed when disabled, focus rectangle. `is_default`
// draws the default button's black frame. Painted off screen first, so it never flickers.
void DrawBitButton(const DRAWITEMSTRUCT& item, const Glyph* glyph, bool is_default);

// A flat button that shows only a glyph, raises its edge under the mouse and never takes
// the keyboard focus. It tells its parent about a click with WM_COMMAND/BN_CLICKED, as a
// push button does, and answers BM_CLICK.
HWND CreateSpeedButton(HWND parent, int id, const RECT& bounds, const Glyph* glyph);

}  // namespace framework
