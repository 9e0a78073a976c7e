#include "framework/application.h"

#include "framework/exception.h"
#include "framework/text.h"

namespace framework {

Application& Application::Instance() {
  static Application app;
  return app;
}

void Application::Initialize() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring file(path, n);
  size_t slash = file.find_last_of(L"\\/:");
  if (slash != std::wstring::npos) file.erase(0, slash + 1);
  size_t dot = file.find_last_of(L'.');
  if (dot != std::wstring::npos) file.erase(dot);
  if (!file.empty()) title_ = file;
  terminated_ = false;
}

bool Application::DispatchOne(const MSG& msg) {
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    return false;
  }
  HWND top = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (top && IsDialogMessageW(top, const_cast<MSG*>(&msg))) return true;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
  return true;
}

void Application::Run(HWND main_window) {
  main_window_ = main_window;
  MSG msg;
  while (!terminated_) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      terminated_ = true;
      break;
    }
    DispatchOne(msg);
  }
}

void Application::ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // The outer loop must still see it.
      terminated_ = true;
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    DispatchOne(msg);
  }
}

void Application::SetCursor(HCURSOR cursor) {
  cursor_ = cursor;
  ::SetCursor(cursor ? cursor : LoadCursorW(nullptr, IDC_ARROW));
}

std::wstring ExceptionText(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const Exception& e) {
    return Utf8ToWide(e.Message());
  } catch (const std::exception& e) {
    return Utf8ToWide(e.what());
  } catch (...) {
    return L"Unknown exception";
  }
}

void Application::ShowMessage(const std::wstring& text) {
  HWND owner = GetActiveWindow();
  MessageBoxW(owner ? owner : main_window_, text.c_str(), title_.c_str(), MB_OK);
}

void Application::HandleException(std::exception_ptr error) {
  try {
    if (exception_hook_) {
      exception_hook_(error);
      return;
    }
    try {
      std::rethrow_exception(error);
    } catch (const Exception& e) {
      if (e.InheritsFrom("EAbort")) return;
    } catch (...) {
    }
    std::wstring text = ExceptionText(error);
    MessageBoxW(main_window_, text.c_str(), title_.c_str(), MB_OK | MB_ICONERROR);
  } catch (...) {
    // The handler itself must never throw into a system frame.
  }
}

}  // namespace framework
