#include "framework/controls.h"

#include <string>

#include "framework/text.h"
#include "framework/win_handle.h"

namespace framework {

namespace {

constexpr int kGlyphSpacing = 4;  // between the glyph and the caption

void PaintBitButton(HDC dc, RECT r, HWND button, const Glyph* glyph, UINT state, bool is_default) {
  const bool pushed = state & ODS_SELECTED;
  const bool disabled = state & ODS_DISABLED;
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  if (is_default) {
    FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    InflateRect(&r, -1, -1);
  }
  if (pushed) {
    FrameRect(dc, &r, GetSysColorBrush(COLOR_BTNSHADOW));
  } else {
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH);
  }

  HFONT font = reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0));
  SelectGuard select_font(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
  const std::wstring text = WindowText(button);
  SIZE text_size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &text_size);
  const bool has_glyph = glyph && !glyph->Empty();
  const int glyph_width = has_glyph ? glyph->Width() + (text.empty() ? 0 : kGlyphSpacing) : 0;
  const int offset = pushed ? 1 : 0;
  int x = (r.left + r.right - glyph_width - text_size.cx) / 2 + offset;
  const int mid = (r.top + r.bottom) / 2 + offset;
  if (has_glyph) {
    glyph->Draw(dc, x, mid - glyph->Height() / 2, disabled ? Glyph::kGreyed : Glyph::kNormal);
    x += glyph_width;
  }
  SetBkMode(dc, TRANSPARENT);
  const int y = mid - text_size.cy / 2;
  if (disabled) {  // the engraved look of disabled captions
    SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
    TextOutW(dc, x + 1, y + 1, text.c_str(), static_cast<int>(text.size()));
    SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
  } else {
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  }
  TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));

  if (state & ODS_FOCUS) {
    RECT focus = r;
    InflateRect(&focus, -3, -3);
    DrawFocusRect(dc, &focus);
  }
}

// --- the flat image button -------------------------------------------------------------

constexpr wchar_t kSpeedButtonClass[] = L"TSpeedButton";

struct SpeedButtonState {
  const Glyph* glyph = nullptr;
  bool hot = false;      // the mouse is over it
  bool pressed = false;  // the left button went down on it and is still down
};

SpeedButtonState* StateOf(HWND hwnd) {
  return reinterpret_cast<SpeedButtonState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

void NotifyClick(HWND hwnd) {
  const int id = GetDlgCtrlID(hwnd);
  SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(hwnd));
}

bool MouseInside(HWND hwnd, LPARAM lp) {
  RECT r;
  GetClientRect(hwnd, &r);
  POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
  return PtInRect(&r, p);
}

void PaintSpeedButton(HWND hwnd, const SpeedButtonState& s) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT r;
  GetClientRect(hwnd, &r);
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  const bool down = s.pressed && s.hot;
  if (down) {
    DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
  } else if (s.hot && IsWindowEnabled(hwnd)) {
    DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
  }
  if (s.glyph && !s.glyph->Empty()) {
    const int offset = down ? 1 : 0;
    s.glyph->Draw(dc, (r.right - s.glyph->Width()) / 2 + offset,
                  (r.bottom - s.glyph->Height()) / 2 + offset,
                  IsWindowEnabled(hwnd) ? Glyph::kNormal : Glyph::kGreyed);
  }
  EndPaint(hwnd, &ps);
}

LRESULT SpeedButtonMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  SpeedButtonState* s = StateOf(hwnd);
  switch (msg) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
      auto* state = new SpeedButtonState{static_cast<const Glyph*>(cs->lpCreateParams)};
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
      break;
    }
    case WM_NCDESTROY:
      delete s;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      break;
    case WM_PAINT:
      if (s) PaintSpeedButton(hwnd, *s);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEMOVE:
      if (s) {
        const bool inside = MouseInside(hwnd, lp);
        if (inside != s->hot) {
          s->hot = inside;
          InvalidateRect(hwnd, nullptr, FALSE);
        }
        if (inside && !s->pressed) {
          TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
          TrackMouseEvent(&track);
        }
      }
      return 0;
    case WM_MOUSELEAVE:
      if (s && !s->pressed) {
        s->hot = false;
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (s) {
        s->pressed = s->hot = true;
        SetCapture(hwnd);  // deliberately no SetFocus: the focus stays where it was
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    case WM_LBUTTONUP:
      if (s && s->pressed) {
        s->pressed = false;
        ReleaseCapture();
        InvalidateRect(hwnd, nullptr, FALSE);
        if (MouseInside(hwnd, lp)) NotifyClick(hwnd);
      }
      return 0;
    case WM_CAPTURECHANGED:
      if (s) s->pressed = false;
      return 0;
    case BM_CLICK:
      if (IsWindowEnabled(hwnd)) NotifyClick(hwnd);
      return 0;
    case WM_ENABLE:
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK SpeedButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  try {  // nothing may unwind into the system's frames
    return SpeedButtonMessage(hwnd, msg, wp, lp);
  } catch (...) {
    return 0;
  }
}

void RegisterSpeedButtonClass() {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = SpeedButtonProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kSpeedButtonClass;
    return RegisterClassExW(&wc) != 0;
  }();
  (void)registered;
}

}  // namespace

void DrawBitButton(const DRAWITEMSTRUCT& item, const Glyph* glyph, bool is_default) {
  RECT r = item.rcItem;
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  // Off screen first, then one copy: the button never shows half-drawn.
  ScopedMemoryDc buffer(CreateCompatibleDC(item.hDC));
  ScopedGdiObject bitmap(CreateCompatibleBitmap(item.hDC, width, height));
  if (!buffer || !bitmap) {
    PaintBitButton(item.hDC, r, item.hwndItem, glyph, item.itemState, is_default);
    return;
  }
  {
    SelectGuard select(buffer.get(), bitmap.get());
    RECT local{0, 0, width, height};
    PaintBitButton(buffer.get(), local, item.hwndItem, glyph, item.itemState, is_default);
    BitBlt(item.hDC, r.left, r.top, width, height, buffer.get(), 0, 0, SRCCOPY);
  }
}

HWND CreateSpeedButton(HWND parent, int id, const RECT& bounds, const Glyph* glyph) {
  RegisterSpeedButtonClass();
  return CreateWindowExW(0, kSpeedButtonClass, L"", WS_CHILD | WS_VISIBLE, bounds.left, bounds.top,
                         bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), const_cast<Glyph*>(glyph));
}

}  // namespace framework
