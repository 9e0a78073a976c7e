// A fixture that opens the real translator window and drives it the way a person would: keys
// and clicks arrive as window messages and go through the program's own message processing.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "framework/application.h"
#include "translator/form8.h"

namespace testing_support {

using translator::StopRequested;
using translator::TForm8;

class Form8Window : public ::testing::Test {
 protected:
  void SetUp() override {
    framework::Application::Instance().Initialize();
    framework::Application::Instance().SetExceptionHook(nullptr);
    StopRequested = false;
    form_ = std::make_unique<TForm8>();
    ShowWindow(form_->Handle(), SW_SHOWNORMAL);
    Pump();
  }
  void TearDown() override {
    form_.reset();
    // Drop the quit message that the window's end leaves behind.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  static void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit_seen_ = true;
        continue;
      }
      HWND top = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
      if (top && IsDialogMessageW(top, &msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  static void PressKey(HWND target, UINT vk) {
    PostMessageW(target, WM_KEYDOWN, vk, 1);
    PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
    Pump();
  }
  RECT ClientRectOf(const wchar_t* name) {
    RECT r;
    GetWindowRect(form_->Control(name), &r);
    MapWindowPoints(nullptr, form_->Handle(), reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  // The width of text in the font the control shows it in.
  int TextWidthOf(const wchar_t* name, const std::wstring& text) {
    HWND control = form_->Control(name);
    HDC dc = GetDC(control);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size.cx;
  }
  std::wstring TextOf(const wchar_t* name) {
    wchar_t buf[512] = {};
    GetWindowTextW(form_->Control(name), buf, 512);
    return buf;
  }

  std::unique_ptr<TForm8> form_;
  static inline bool quit_seen_ = false;
};

}  // namespace testing_support
