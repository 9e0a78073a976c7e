// Drives the real translator window the way a person would: keys and clicks arrive as
// window messages and go through the application's own message processing.
#include "translator/form8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "framework/application.h"
#include "framework/exception.h"
#include "resources/resource_ids.h"
#include "tests/support/message_box_watcher.h"
#include "tests/support/png_writer.h"
#include "tests/translator/form8_window.h"

namespace translator {
namespace {

using framework::Application;

using Form8Test = testing_support::Form8Window;

TEST_F(Form8Test, FreshWindowHasItsLayoutTextsAndTabOrder) {
  HWND hwnd = form_->Handle();
  wchar_t caption[128];
  GetWindowTextW(hwnd, caption, 128);
  EXPECT_STREQ(caption, L"Quenloft Database Translator");
  RECT client;
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, 498);
  EXPECT_EQ(client.bottom, 273);
  LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);

  struct Expected {
    const wchar_t* name;
    int left, top, width, height;
    const wchar_t* text;
  };
  const Expected windowed[] = {{L"Edit1", 16, 56, 457, 21, L""},
                               {L"SpeedButton1", 208, 28, 23, 22, L""},
                               {L"ProgressBar1", 16, 184, 457, 21, L""},
                               {L"BitBtn1", 92, 228, 75, 25, L"Run"},
                               {L"BitBtn2", 324, 228, 75, 25, L"Close"}};
  for (const auto& e : windowed) {
    RECT r = ClientRectOf(e.name);
    EXPECT_EQ(r.left, e.left) << e.name;
    EXPECT_EQ(r.top, e.top) << e.name;
    EXPECT_EQ(r.right - r.left, e.width) << e.name;
    EXPECT_EQ(r.bottom - r.top, e.height) << e.name;
    EXPECT_EQ(TextOf(e.name), e.text) << e.name;
  }
  // Labels size themselves to their text under the fonts at hand: position and text only.
  const Expected labels[] = {
      {L"Label1", 16, 37, 0, 0, L"Enter Version 1 Access Database file:"},
      {L"Label4", 32, 87, 0, 0,
       L"Will send result to GagesNew.mdb in same directory.  Change filename to Gages.mdb  "
       L"before use."},
      {L"Label2", 32, 139, 0, 0, L"Status:"},
      {L"Label3", 32, 163, 0, 0, L"---"}};
  for (const auto& e : labels) {
    RECT r = ClientRectOf(e.name);
    EXPECT_EQ(r.left, e.left) << e.name;
    EXPECT_EQ(r.top, e.top) << e.name;
    EXPECT_EQ(TextOf(e.name), e.text) << e.name;
  }
  // The wrapped note keeps its width and shows all of its lines, whatever the font wraps it to.
  HWND note = form_->Control(L"Label4");
  HDC dc = GetDC(note);
  SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(note, WM_GETFONT, 0, 0)));
  RECT needed{0, 0, 258, 0};
  DrawTextW(dc, labels[1].text, -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  ReleaseDC(note, dc);
  const RECT shown = ClientRectOf(L"Label4");
  EXPECT_EQ(shown.right - shown.left, 258);
  EXPECT_GE(shown.bottom - shown.top, std::max(26L, needed.bottom));
  EXPECT_EQ(form_->ProgressPosition(), 0);
  EXPECT_EQ(form_->ProgressMax(), 100);

  // Focus starts in Edit1; Tab walks Run, Close, the progress bar, and back.
  EXPECT_EQ(GetFocus(), form_->Control(L"Edit1"));
  const wchar_t* order[] = {L"BitBtn1", L"BitBtn2", L"ProgressBar1", L"Edit1"};
  HWND at = form_->Control(L"Edit1");
  for (const wchar_t* next : order) {
    at = GetNextDlgTabItem(hwnd, at, FALSE);
    EXPECT_EQ(at, form_->Control(next)) << next;
  }
  // The flat Browse button never takes the focus by keys.
  EXPECT_FALSE(GetWindowLongW(form_->Control(L"SpeedButton1"), GWL_STYLE) & WS_TABSTOP);

  Pump();
  EXPECT_TRUE(testing_support::SaveWindowPng(hwnd, "form8.png"));
}

TEST_F(Form8Test, EnterInEditRunsWithTheTypedText) {
  std::wstring seen = L"(not run)";
  form_->OnRun = [&](TForm8& f) { seen = f.EditText(); };
  SetFocus(form_->Control(L"Edit1"));
  form_->SetEditText(L"C:\\gauges\\old.mdb");
  PressKey(form_->Control(L"Edit1"), VK_RETURN);
  EXPECT_EQ(seen, L"C:\\gauges\\old.mdb");
  EXPECT_TRUE(IsWindow(form_->Handle()));
}

TEST_F(Form8Test, EscapeInEditClosesTheProgram) {
  quit_seen_ = false;
  HWND hwnd = form_->Handle();
  SetFocus(form_->Control(L"Edit1"));
  PressKey(form_->Control(L"Edit1"), VK_ESCAPE);
  Pump();
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_TRUE(StopRequested);
  EXPECT_TRUE(quit_seen_);
}

TEST_F(Form8Test, CloseDuringARunStopsItAndEndsOnlyAfterTheHandlerReturns) {
  HWND hwnd = form_->Handle();
  bool alive_when_stop_seen = false;
  int statuses = 0;
  form_->OnRun = [&](TForm8& f) {
    PostMessageW(f.Control(L"BitBtn2"), BM_CLICK, 0, 0);
    while (!StopRequested && statuses < 1000) f.ShowStatus(L"gauge " + std::to_wstring(++statuses));
    alive_when_stop_seen = IsWindow(hwnd) && IsWindow(f.Control(L"Label3"));
  };
  PostMessageW(form_->Control(L"BitBtn1"), BM_CLICK, 0, 0);
  Pump();
  EXPECT_TRUE(StopRequested);
  EXPECT_TRUE(alive_when_stop_seen);
  EXPECT_LT(statuses, 1000);
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(Form8Test, TitleBarCloseLetsTheRunFinish) {
  HWND hwnd = form_->Handle();
  int statuses = 0;
  form_->OnRun = [&](TForm8& f) {
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    while (statuses < 20) f.ShowStatus(L"gauge " + std::to_wstring(++statuses));
  };
  PostMessageW(form_->Control(L"BitBtn1"), BM_CLICK, 0, 0);
  Pump();
  EXPECT_EQ(statuses, 20);
  EXPECT_FALSE(StopRequested);
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(Form8Test, RunClickInsideARunningRunIsIgnored) {
  int runs = 0;
  form_->OnRun = [&](TForm8& f) {
    ++runs;
    SendMessageW(f.Control(L"BitBtn1"), BM_CLICK, 0, 0);
    f.ShowStatus(L"Finished");
  };
  SendMessageW(form_->Control(L"BitBtn1"), BM_CLICK, 0, 0);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(TextOf(L"Label3"), L"Finished");
}

TEST_F(Form8Test, EscapingExceptionsReachTheCentralHandlerAndTheProgramGoesOn) {
  testing_support::MessageBoxWatcher boxes;
  form_->OnRun = [](TForm8&) {
    throw framework::EDatabaseError("Table 'GageMaster' not found in 'old.mdb'.");
  };
  SendMessageW(form_->Control(L"BitBtn1"), BM_CLICK, 0, 0);
  EXPECT_TRUE(IsWindow(form_->Handle()));
  form_->OnRun = [](TForm8&) { throw framework::EAbort("silent"); };
  SendMessageW(form_->Control(L"BitBtn1"), BM_CLICK, 0, 0);
  EXPECT_TRUE(IsWindow(form_->Handle()));
  Sleep(200);
  auto texts = boxes.Texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], std::wstring(Application::Instance().Title()) +
                          L"|Table 'GageMaster' not found in 'old.mdb'.");
}

// Waits on another thread for the program's file dialog and acts on it; the test thread
// meanwhile sits in the dialog's modal loop. It keeps looking until the dialog shows, however
// slowly it comes, or the call that should have shown it has returned.
class FileDialogDriver {
 public:
  explicit FileDialogDriver(std::function<void(HWND)> act)
      : thread_([this, act = std::move(act)] {
          while (!returned_) {
            Sleep(100);
            if (HWND dlg = OwnVisibleDialog()) {
              Sleep(200);  // let the dialog fill its fields
              act(dlg);
              // Whatever act did, the dialog must go, or the test would hang in it.
              for (int j = 0; j < 100 && IsWindow(dlg); ++j) Sleep(100);
              if (IsWindow(dlg)) PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
              return;
            }
          }
        }) {}
  ~FileDialogDriver() {
    returned_ = true;
    thread_.join();
  }

 private:
  static HWND OwnVisibleDialog() {
    HWND dlg = nullptr;
    while ((dlg = FindWindowExW(nullptr, dlg, L"#32770", nullptr)) != nullptr) {
      if (testing_support::IsOwnVisibleDialog(dlg)) return dlg;
    }
    return nullptr;
  }

  std::atomic<bool> returned_{false};
  std::thread thread_;
};

constexpr int kFileNameCombo = 0x47C;  // the explorer-style dialog's file name field

std::wstring DialogFileName(HWND dlg) {
  wchar_t text[MAX_PATH] = {};
  GetDlgItemTextW(dlg, kFileNameCombo, text, MAX_PATH);
  return text;
}

TEST_F(Form8Test, CancelledFileDialogKeepsTheText) {
  form_->SetEditText(L"typed.mdb");
  {
    FileDialogDriver cancel([](HWND dlg) { PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0); });
    // A mouse click on the flat Browse button, which leaves the focus where it was.
    HWND browse = form_->Control(L"SpeedButton1");
    PostMessageW(browse, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(browse, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    Pump();
  }
  EXPECT_EQ(form_->EditText(), L"typed.mdb");
  EXPECT_EQ(GetFocus(), form_->Control(L"Edit1"));
}

TEST_F(Form8Test, ChosenFileReplacesTheTextAndIsOfferedAgain) {
  form_->SetEditText(L"typed.mdb");
  {
    FileDialogDriver choose([](HWND dlg) {
      SetDlgItemTextW(dlg, kFileNameCombo, L"C:\\windows\\chosen.mdb");
      PostMessageW(dlg, WM_COMMAND, IDOK, 0);
    });
    form_->SpeedButton1Click();
  }
  EXPECT_EQ(form_->EditText(), L"C:\\windows\\chosen.mdb");

  // The same dialog comes back with the previous choice.
  std::wstring offered;
  {
    FileDialogDriver look([&offered](HWND dlg) {
      offered = DialogFileName(dlg);
      PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
    });
    form_->SpeedButton1Click();
  }
  EXPECT_NE(offered.find(L"chosen.mdb"), std::wstring::npos)
      << std::string(offered.begin(), offered.end());
  EXPECT_EQ(form_->EditText(), L"C:\\windows\\chosen.mdb");
}

// Counts the pixels of a control, in a capture of the whole window, that pass a test.
template <typename Pred>
int CountPixels(HWND form, HWND control, Pred pred) {
  const auto capture = testing_support::CaptureWindow(form);
  RECT window, r;
  GetWindowRect(form, &window);
  GetWindowRect(control, &r);
  int n = 0;
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) {
      const uint32_t p = capture.At(x - window.left, y - window.top);
      if (pred(p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF)) ++n;
    }
  }
  return n;
}

TEST_F(Form8Test, ImagesFontAndBusyCursor) {
  const HWND hwnd = form_->Handle();
  auto green = [](int r, int g, int b) { return g > 0x90 && r < 0x60 && b < 0x60; };
  auto red = [](int r, int g, int b) { return r > 0xB0 && g < 0x40 && b < 0x40; };
  auto yellow = [](int r, int g, int b) { return r > 0xC0 && g > 0xC0 && b < 0x60; };
  EXPECT_GT(CountPixels(hwnd, form_->Control(L"BitBtn1"), green), 10);
  EXPECT_GT(CountPixels(hwnd, form_->Control(L"BitBtn2"), red), 10);
  EXPECT_GT(CountPixels(hwnd, form_->Control(L"SpeedButton1"), yellow), 10);
  // A disabled Run shows its greyed check mark.
  EnableWindow(form_->Control(L"BitBtn1"), FALSE);
  Pump();
  EXPECT_EQ(CountPixels(hwnd, form_->Control(L"BitBtn1"), green), 0);
  EnableWindow(form_->Control(L"BitBtn1"), TRUE);

  // The window's font really is Tahoma, not a stand-in.
  HWND label = form_->Control(L"Label1");
  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(dc, LF_FACESIZE, face);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  EXPECT_STREQ(face, L"Tahoma");

  // The busy cursor is the program's own database-wait cursor.
  form_->SetBusyCursor(true);
  const HCURSOR own = LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_SQL_WAIT));
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(Application::Instance().Cursor(), own);
  form_->SetBusyCursor(false);
  EXPECT_EQ(Application::Instance().Cursor(), nullptr);
}

}  // namespace
}  // namespace translator
