// drive_translator PROGRAM OLD_FILE PNG
//
// Does what a person does with the translator: starts PROGRAM, types OLD_FILE into the file
// name field, presses Enter, waits until the status line says "Finished", saves a picture of
// the window as PNG, presses Close and waits for the program to end. A message box of the
// program is reported and answered. Exit status 0 when the run finished.
#include <windows.h>

#include <cstdio>
#include <iterator>
#include <string>

#include "framework/text.h"
#include "framework/win_handle.h"
#include "resources/form8_layout.h"
#include "tests/support/png_writer.h"

namespace {

constexpr DWORD kStartTimeoutMs = 300'000;  // Wine under emulation starts slowly
constexpr DWORD kRunTimeoutMs = 3'600'000;

struct Search {
  DWORD pid;
  const wchar_t* class_name;
  HWND found = nullptr;
};

BOOL CALLBACK FindTopWindow(HWND hwnd, LPARAM lp) {
  auto* search = reinterpret_cast<Search*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (pid == search->pid && wcscmp(cls, search->class_name) == 0 && IsWindowVisible(hwnd)) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

HWND TopWindowOf(DWORD pid, const wchar_t* class_name) {
  Search search{pid, class_name};
  EnumWindows(FindTopWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND ControlOf(HWND form, const wchar_t* name) {
  for (const auto& c : resources::kForm8Controls) {
    if (wcscmp(c.name, name) == 0) return GetDlgItem(form, c.id);
  }
  return nullptr;
}

// Reports a message box of the program, if one is open, and answers it.
bool AnswerMessageBox(DWORD pid) {
  HWND box = TopWindowOf(pid, L"#32770");
  if (!box) return false;
  wchar_t text[2048] = {};
  GetDlgItemTextW(box, 0xFFFF, text, 2048);
  std::fprintf(stderr, "drive_translator: the program says: %s\n",
               framework::WideToUtf8(text).c_str());
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  return true;
}

int Drive(const std::wstring& program, const std::wstring& old_file, const std::string& png) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::wstring command = L"\"" + program + L"\"";
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    std::fprintf(stderr, "drive_translator: cannot start the program (error %lu)\n",
                 GetLastError());
    return 1;
  }
  framework::ScopedHandle process(info.hProcess);
  framework::ScopedHandle thread(info.hThread);

  HWND form = nullptr;
  for (DWORD waited = 0; !form && waited < kStartTimeoutMs; waited += 200) {
    if (WaitForSingleObject(process.get(), 200) == WAIT_OBJECT_0) break;
    form = TopWindowOf(info.dwProcessId, L"TForm8");
  }
  if (!form) {
    std::fprintf(stderr, "drive_translator: the translator window did not appear\n");
    TerminateProcess(process.get(), 1);
    return 1;
  }
  HWND edit = ControlOf(form, L"Edit1");
  HWND status = ControlOf(form, L"Label3");
  HWND close = ControlOf(form, L"BitBtn2");

  // Typed key by key, as a person would.
  for (wchar_t ch : old_file) PostMessageW(edit, WM_CHAR, ch, 1);
  for (int i = 0; i < 600 && framework::WindowText(edit) != old_file; ++i) Sleep(100);
  std::printf("drive_translator: typed %s\n", framework::WideToUtf8(old_file).c_str());
  PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 1);
  PostMessageW(edit, WM_KEYUP, VK_RETURN, 0xC0000001);

  std::wstring last;
  bool finished = false;
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < kRunTimeoutMs) {
    if (WaitForSingleObject(process.get(), 250) == WAIT_OBJECT_0) break;
    AnswerMessageBox(info.dwProcessId);
    const std::wstring now = framework::WindowText(status);
    if (now != last) last = now;
    if (now == L"Finished") {
      finished = true;
      break;
    }
  }
  const double seconds = (GetTickCount() - start) / 1000.0;
  if (finished) {
    std::printf("drive_translator: \"Finished\" after %.1f s\n", seconds);
    Sleep(500);  // let the window paint its final state
    if (testing_support::SaveWindowPng(form, png))
      std::printf("drive_translator: window picture saved as %s\n", png.c_str());
  } else {
    std::fprintf(stderr, "drive_translator: no \"Finished\"; the status line says: %s\n",
                 framework::WideToUtf8(last).c_str());
  }
  PostMessageW(close, BM_CLICK, 0, 0);
  if (WaitForSingleObject(process.get(), 60'000) != WAIT_OBJECT_0) {
    AnswerMessageBox(info.dwProcessId);
    TerminateProcess(process.get(), 1);
    return 1;
  }
  return finished ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: drive_translator PROGRAM OLD_FILE PNG\n");
    return 2;
  }
  return Drive(argv[1], argv[2], framework::WideToUtf8(argv[3]));
}
