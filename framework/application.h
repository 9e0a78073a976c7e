// The application object: start-up, the main form, the message loop and the central
// exception handler that every exception escaping an event handler reaches.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <string>

namespace framework {

class Application {
 public:
  static Application& Instance();

  // Takes the title from the program file's name without its extension.
  void Initialize();
  void SetMainFormOnTaskBar(bool on) { main_form_on_task_bar_ = on; }
  bool MainFormOnTaskBar() const { return main_form_on_task_bar_; }
  const std::wstring& Title() const { return title_; }

  // Runs the message loop until the main window is destroyed.
  void Run(HWND main_window);
  // Processes every pending message once and returns; a quit message is put back so that
  // the loop which owns it still ends.
  void ProcessMessages();
  bool Terminated() const { return terminated_; }

  // A modal box with text and an OK button, titled with the application's title, over the
  // active window of the program; returns when it is dismissed.
  void ShowMessage(const std::wstring& text);

  // The application-wide cursor: every window of the program shows it while it is set.
  void SetCursor(HCURSOR cursor);
  HCURSOR Cursor() const { return cursor_; }

  // The central handler: called with the exception that escaped an event handler or
  // message processing. EAbort shows nothing; anything else shows its message in a box
  // titled with the application's title. The crash reporter replaces the hook.
  void HandleException(std::exception_ptr error);
  using ExceptionHook = std::function<void(std::exception_ptr)>;
  void SetExceptionHook(ExceptionHook hook) { exception_hook_ = std::move(hook); }

  // Runs fn, handing anything it throws to the central handler. Every window procedure and
  // system callback goes through here: nothing may unwind through a Win32 frame.
  template <typename Fn>
  void Guard(Fn&& fn) noexcept {
    try {
      fn();
    } catch (...) {
      HandleException(std::current_exception());
    }
  }

 private:
  Application() = default;
  bool DispatchOne(const MSG& msg);

  std::wstring title_ = L"Pelmora";
  bool main_form_on_task_bar_ = false;
  bool terminated_ = false;
  HWND main_window_ = nullptr;
  HCURSOR cursor_ = nullptr;
  ExceptionHook exception_hook_;
};

// The message text of any exception, for boxes and logs.
std::wstring ExceptionText(std::exception_ptr error);

}  // namespace framework
