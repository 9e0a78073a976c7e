// Finds message boxes of this process, records their text and presses their button, so
// that no test ever hangs on a box.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

// A shown dialog (message box, file dialog) of this process.
inline bool IsOwnVisibleDialog(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  return pid == GetCurrentProcessId() && wcscmp(cls, L"#32770") == 0 && IsWindowVisible(hwnd);
}

class MessageBoxWatcher {
 public:
  MessageBoxWatcher() : thread_([this] { Watch(); }) {}
  ~MessageBoxWatcher() {
    stop_ = true;
    thread_.join();
  }
  std::vector<std::wstring> Texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }

 private:
  static BOOL CALLBACK Visit(HWND hwnd, LPARAM lp) {
    auto* self = reinterpret_cast<MessageBoxWatcher*>(lp);
    if (!IsOwnVisibleDialog(hwnd)) return TRUE;
    wchar_t text[2048] = {};
    GetDlgItemTextW(hwnd, 0xFFFF, text, 2048);  // the static text of a message box
    wchar_t caption[256] = {};
    GetWindowTextW(hwnd, caption, 256);
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      for (HWND seen : self->seen_)
        if (seen == hwnd) return TRUE;
      self->seen_.push_back(hwnd);
      self->texts_.push_back(std::wstring(caption) + L"|" + text);
    }
    PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
    return TRUE;
  }
  void Watch() {
    while (!stop_) {
      EnumWindows(Visit, reinterpret_cast<LPARAM>(this));
      Sleep(50);
    }
  }

  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::wstring> texts_;
  std::vector<HWND> seen_;
  std::thread thread_;
};

}  // namespace testing_support
