#include "translator/form8.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <chrono>
#include <iterator>

#include "framework/application.h"
#include "framework/controls.h"
#include "framework/text.h"
#include "resources/form8_layout.h"
#include "resources/resource_ids.h"

namespace translator {

bool StopRequested = false;

namespace {

constexpr wchar_t kClassName[] = L"TForm8";
constexpr int kBrowseId = 103;
constexpr int kLabelHeight = 13;
// The run changes the status line and the progress bar for every gauge, hundreds of times a
// second. Painting the progress bar each time would cost more than copying the gauge
// (Wine's progress bar repaints itself whole at every position), so its position, and the
// shrinking of the status line, are shown at display ticks: ten a second where painting is
// cheap, fewer where it is not, so that showing the run takes at most a twentieth of it.
constexpr UINT_PTR kDisplayTick = 1;
constexpr UINT kFastestDisplayTickMs = 100;
constexpr UINT kSlowestDisplayTickMs = 1000;
constexpr UINT kDisplayShare = 20;

using resources::ControlKind;
using resources::kForm8Controls;

HWND CreateControl(HWND parent, const resources::ControlLayout& c, const framework::Glyph& glyph) {
  if (c.kind == ControlKind::FlatImageButton) {
    return framework::CreateSpeedButton(
        parent, c.id, {c.left, c.top, c.left + c.width, c.top + c.height}, &glyph);
  }
  const wchar_t* cls = L"STATIC";
  DWORD style = WS_CHILD | WS_VISIBLE;
  DWORD ex_style = 0;
  switch (c.kind) {
    case ControlKind::Label:
      style |= SS_LEFT | SS_NOPREFIX;
      break;
    case ControlKind::WrappedLabel:
      style |= SS_LEFT | SS_NOPREFIX;  // STATIC wraps its text by default
      break;
    case ControlKind::Edit:
      cls = L"EDIT";
      style |= WS_TABSTOP | ES_AUTOHSCROLL;
      ex_style = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::FlatImageButton:
      break;  // made above
    case ControlKind::ProgressBar:
      cls = PROGRESS_CLASSW;
      style |= WS_TABSTOP;
      break;
    case ControlKind::Button:
      cls = L"BUTTON";
      style |= WS_TABSTOP | BS_OWNERDRAW | BS_NOTIFY;  // drawn with its image, see DrawItem
      break;
  }
  return CreateWindowExW(ex_style, cls, c.text ? c.text : L"", style, c.left, c.top, c.width,
                         c.height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)),
                         GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

TForm8::TForm8() {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  RegisterClassExW(&wc);  // fails harmlessly when a second form registers it again

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  const DWORD ex_style =
      framework::Application::Instance().MainFormOnTaskBar() ? WS_EX_APPWINDOW : 0;
  RECT r{0, 0, resources::kForm8ClientWidth, resources::kForm8ClientHeight};
  AdjustWindowRectEx(&r, style, FALSE, ex_style);
  hwnd_ = CreateWindowExW(ex_style, kClassName, resources::kForm8Caption, style, CW_USEDEFAULT,
                          CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                          GetModuleHandleW(nullptr), this);
  font_ = CreateFontW(-resources::kForm8FontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                      DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                      DEFAULT_PITCH | FF_DONTCARE, resources::kForm8Font);
  measure_dc_ = CreateCompatibleDC(nullptr);
  SelectObject(measure_dc_, font_);
  CreateControls();
  SetFocus(Control(L"Edit1"));
  SetUpDatabaseObjects();
}

TForm8::~TForm8() {
  if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
  if (measure_dc_) DeleteDC(measure_dc_);
  if (font_) DeleteObject(font_);
}

void TForm8::CreateControls() {
  size_t i = 0;
  for (const auto& c : kForm8Controls) {
    if (c.glyph) glyphs_[i] = framework::Glyph(c.glyph, c.glyph_states);
    HWND h = CreateControl(hwnd_, c, glyphs_[i]);
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    controls_[i++] = h;
    // Single-line labels size themselves to their text in the font at hand.
    if (c.kind == ControlKind::Label) SizeLabelToText(h, framework::WindowText(h));
    if (c.kind == ControlKind::WrappedLabel) FitWrappedLabel(h, c.width, c.height);
  }
  SendMessageW(Control(L"ProgressBar1"), PBM_SETRANGE32, 0, 100);
}

HWND TForm8::Control(const wchar_t* name) const {
  for (size_t i = 0; i < std::size(kForm8Controls); ++i) {
    if (wcscmp(kForm8Controls[i].name, name) == 0) return controls_[i];
  }
  return nullptr;
}

void TForm8::SizeLabelToText(HWND label, const std::wstring& text) {
  // Labels grow and shrink with their text, like auto-sizing labels. The text is measured on
  // a memory DC of the window's font, and the label is moved only when its size changes.
  SIZE size{};
  GetTextExtentPoint32W(measure_dc_, text.c_str(), static_cast<int>(text.size()), &size);
  RECT r{};
  GetWindowRect(label, &r);
  if (r.right - r.left != size.cx || r.bottom - r.top != kLabelHeight) {
    SetWindowPos(label, nullptr, 0, 0, size.cx, kLabelHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void TForm8::FitWrappedLabel(HWND label, int width, int height) {
  // Laid out for two lines of Tahoma; a font with wider letters wraps to more, and the label
  // grows downwards rather than cut off its last line. STATIC wraps as DrawText does.
  const std::wstring text = framework::WindowText(label);
  RECT needed{0, 0, width, 0};
  DrawTextW(measure_dc_, text.c_str(), static_cast<int>(text.size()), &needed,
            DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  if (needed.bottom > height) {
    SetWindowPos(label, nullptr, 0, 0, width, needed.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void TForm8::SetStatusLine(const std::wstring& text) {
  pending_caption_.reset();  // a caption set now supersedes one waiting for the tick
  HWND label = Control(L"Label3");
  SetWindowTextW(label, text.c_str());
  SizeLabelToText(label, text);
}

void TForm8::ShowStatus(const std::wstring& text) {
  SetStatusLine(text);
  framework::Application::Instance().ProcessMessages();
}

void TForm8::ShowGauge(const std::wstring& description) {
  // The caption changes for every gauge; the label takes it at the display tick. Under Wine
  // setting a control's text, even unpainted, costs a tenth of copying the gauge, and no one
  // reads a hundred captions a second.
  pending_caption_ = description;
  ArmDisplayTick();
}

void TForm8::ShowPendingCaption() {
  if (!pending_caption_) return;
  const std::wstring text = std::move(*pending_caption_);
  SetStatusLine(text);
}

void TForm8::AdvanceProgress(int position) {
  pending_position_ = position;
  ArmDisplayTick();
}

void TForm8::ArmDisplayTick() {
  if (display_tick_armed_) return;
  display_tick_armed_ = SetTimer(hwnd_, kDisplayTick, display_tick_ms_, nullptr) != 0;
  if (!display_tick_armed_) FlushDisplay();  // no timer to wait for: show it now
}

void TForm8::FlushDisplay() {
  if (display_tick_armed_) KillTimer(hwnd_, kDisplayTick);
  display_tick_armed_ = false;
  const auto start = std::chrono::steady_clock::now();
  if (pending_position_) {
    const int position = *pending_position_;
    pending_position_.reset();
    SendMessageW(Control(L"ProgressBar1"), PBM_SETPOS, position, 0);
  }
  ShowPendingCaption();
  const auto cost = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  display_tick_ms_ = static_cast<UINT>(std::clamp<long long>(
      cost.count() * kDisplayShare, kFastestDisplayTickMs, kSlowestDisplayTickMs));
}

void TForm8::SetBusyCursor(bool busy) {
  // The database-wait cursor: an hourglass marked for database work.
  static const HCURSOR database_wait = [] {
    HCURSOR c = LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_SQL_WAIT));
    return c ? c : LoadCursorW(nullptr, IDC_WAIT);
  }();
  framework::Application::Instance().SetCursor(busy ? database_wait : nullptr);
}

bool TForm8::ShowsDefaultFrame(HWND button) const {
  // Like the dialog manager: a focused push button is the default one for the moment;
  // otherwise Run is.
  HWND run = Control(L"BitBtn1");
  HWND close = Control(L"BitBtn2");
  HWND focus = GetFocus();
  if (focus == run || focus == close) return button == focus;
  return button == run;
}

void TForm8::DrawItem(const DRAWITEMSTRUCT& item) {
  for (size_t i = 0; i < std::size(kForm8Controls); ++i) {
    if (controls_[i] == item.hwndItem) {
      framework::DrawBitButton(item, &glyphs_[i], ShowsDefaultFrame(item.hwndItem));
      return;
    }
  }
}

std::wstring TForm8::EditText() const { return framework::WindowText(Control(L"Edit1")); }

void TForm8::SetEditText(const std::wstring& text) {
  SetWindowTextW(Control(L"Edit1"), text.c_str());
}
void TForm8::SetProgressMax(int max) {
  SendMessageW(Control(L"ProgressBar1"), PBM_SETRANGE32, 0, max);
}
void TForm8::SetProgressPosition(int p) {
  pending_position_.reset();
  SendMessageW(Control(L"ProgressBar1"), PBM_SETPOS, p, 0);
}
int TForm8::ProgressPosition() const {
  return static_cast<int>(SendMessageW(Control(L"ProgressBar1"), PBM_GETPOS, 0, 0));
}
int TForm8::ProgressMax() const {
  return static_cast<int>(SendMessageW(Control(L"ProgressBar1"), PBM_GETRANGE, FALSE, 0));
}

void TForm8::SpeedButton1Click() {
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = hwnd_;
  ofn.lpstrFilter = L"MDB Files (*.mdb)\0*.mdb\0All Files (*.*)\0*.*\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = dialog_file_;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrDefExt = L"mdb";
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
  if (GetOpenFileNameW(&ofn)) SetEditText(dialog_file_);
}

void TForm8::BitBtn1Click() {
  if (running_) return;  // a Run click seen inside a running run is ignored
  running_ = true;
  struct Reset {
    TForm8& form;
    ~Reset() {
      // However the run ends, the window shows where it got to.
      form.FlushDisplay();
      form.running_ = false;
    }
  } reset{*this};
  if (OnRun) {
    OnRun(*this);
  } else {
    Translate();
  }
}

void TForm8::BitBtn2Click() {
  StopRequested = true;
  Close();
}

void TForm8::Close() {
  close_pending_ = true;
  if (handler_depth_ == 0 && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

template <typename Fn>
void TForm8::RunHandler(Fn&& fn) {
  ++handler_depth_;
  framework::Application::Instance().Guard(fn);
  --handler_depth_;
  // A close asked for under a running handler happens once the outermost one is done.
  if (handler_depth_ == 0 && close_pending_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

LRESULT CALLBACK TForm8::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    static_cast<TForm8*>(cs->lpCreateParams)->hwnd_ = hwnd;
  }
  auto* self = reinterpret_cast<TForm8*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
  LRESULT result = 0;
  bool handled = false;
  framework::Application::Instance().Guard([&] {
    result = self->Handle(msg, wp, lp);
    handled = true;
  });
  return handled ? result : 0;
}

LRESULT TForm8::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_DRAWITEM:
      DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wp) == BN_SETFOCUS || HIWORD(wp) == BN_KILLFOCUS) {
        // The default frame follows the focus between the two push buttons.
        InvalidateRect(Control(L"BitBtn1"), nullptr, FALSE);
        InvalidateRect(Control(L"BitBtn2"), nullptr, FALSE);
        return 0;
      }
      if (HIWORD(wp) == BN_CLICKED) {
        switch (LOWORD(wp)) {
          case IDOK:
            RunHandler([this] { BitBtn1Click(); });
            return 0;
          case IDCANCEL:
            RunHandler([this] { BitBtn2Click(); });
            return 0;
          case kBrowseId:
            RunHandler([this] { SpeedButton1Click(); });
            return 0;
        }
      }
      break;
    case WM_TIMER:
      if (wp == kDisplayTick) {
        FlushDisplay();
        return 0;
      }
      break;
    case DM_GETDEFID:
      return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_SETCURSOR:
      if (HCURSOR c = framework::Application::Instance().Cursor()) {
        ::SetCursor(c);
        return TRUE;
      }
      break;
    case WM_ACTIVATE:
      // Like a dialog: the focus goes back to the control that had it when the window was
      // left (a file dialog, a message box), Edit1 the first time.
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) last_focus_ = focus;
      } else if (!HIWORD(wp)) {
        SetFocus(last_focus_ && IsWindow(last_focus_) ? last_focus_ : Control(L"Edit1"));
        return 0;
      }
      break;
    case WM_CLOSE:
      // The title-bar close: ends the program once a running handler returns, without
      // asking the run to stop.
      Close();
      return 0;
    case WM_DESTROY:
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace translator
