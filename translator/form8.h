// The translator window: file name field, Browse, Run and Close, status line and progress.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "framework/glyph.h"

namespace translator {

// Set by Close, cleared at the start of each run; the run returns when it sees it.
extern bool StopRequested;

class TForm8 {
 public:
  TForm8();
  ~TForm8();
  TForm8(const TForm8&) = delete;
  TForm8& operator=(const TForm8&) = delete;

  HWND Handle() const { return hwnd_; }
  HWND Control(const wchar_t* name) const;

  void ShowStatus(const std::wstring& text);
  void SetBusyCursor(bool busy);
  std::wstring EditText() const;
  void SetEditText(const std::wstring& text);
  void SetProgressMax(int max);
  void SetProgressPosition(int position);
  int ProgressPosition() const;
  int ProgressMax() const;

  void SpeedButton1Click();
  void BitBtn1Click();
  void BitBtn2Click();

  // The run behind Run; the translation supplies it.
  std::function<void(TForm8&)> OnRun;
  // Closes the window, once no event handler of it is running any more.
  void Close();

 private:
  static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  void CreateControls();
  template <typename Fn>
  void RunHandler(Fn&& fn);
  void SizeLabelToText(HWND label);
  void DrawItem(const DRAWITEMSTRUCT& item);
  bool ShowsDefaultFrame(HWND button) const;

  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;
  HWND controls_[16] = {};
  framework::Glyph glyphs_[16];
  HWND last_focus_ = nullptr;  // restored when the window is activated again
  int handler_depth_ = 0;
  bool close_pending_ = false;
  bool running_ = false;
  // The open-file dialog keeps its folder and file name between uses.
  wchar_t dialog_file_[MAX_PATH] = {};
};

}  // namespace translator
