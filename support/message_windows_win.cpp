#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "support/message_windows.h"
#include "support/text_rules.h"

namespace support {
namespace {

struct HandlerEntry {
  UINT message;
  void* code;
  void* object;  // null for plain handlers
  bool method;

  bool SameHandler(const HandlerEntry& o) const {
    return code == o.code && object == o.object && method == o.method;
  }
};

struct ThreadWindow {
  DWORD thread;
  HWND window;
  std::vector<HandlerEntry> handlers;
};

// Messages the windows hand to their handlers, besides every message above WM_IME_... (0x217).
constexpr UINT kDispatched[] = {0x11, 0x12, 0x15, 0x16, 0x17, 0x1A, 0x1B, 0x1C, 0x1D,
                                0x1E, 0x2A, 0x41, 0x48, 0x50, 0x51, 0x54, 0x7E};
constexpr UINT kLastUndispatched = 0x217;

bool IsDispatched(UINT message) {
  return message > kLastUndispatched || std::find(std::begin(kDispatched), std::end(kDispatched),
                                                  message) != std::end(kDispatched);
}

LRESULT CALLBACK DispatchWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

struct Registry {
  std::once_flag created;
  HANDLE mutex = nullptr;
  std::wstring mutex_name;
  std::wstring class_name;
  bool class_registered = false;
  std::vector<ThreadWindow> windows;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // lives until the process ends
  return *registry;
}

// The suffix: "$" and the creating thread's id, "$" and the window-creating routine's address.
void CreateRegistryMutex(Registry& r) {
  std::string suffix = DollarHex(GetCurrentThreadId()) +
                       DollarHex(reinterpret_cast<std::uintptr_t>(&DispatchWindowProc));
  std::wstring wide(suffix.begin(), suffix.end());
  r.mutex_name = L"velToolsMsgHandlerMutex" + wide;
  r.class_name = L"velToolsMsgHandlerWindow" + wide;
  r.mutex = CreateMutexW(nullptr, FALSE, r.mutex_name.c_str());
}

// Holds the registry's mutex; an abandoned mutex counts as held.
class RegistryLock {
 public:
  RegistryLock() : r_(TheRegistry()) {
    std::call_once(r_.created, CreateRegistryMutex, std::ref(r_));
    DWORD wait = r_.mutex ? WaitForSingleObject(r_.mutex, INFINITE) : WAIT_FAILED;
    held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  }
  ~RegistryLock() {
    if (held_) ReleaseMutex(r_.mutex);
  }
  RegistryLock(const RegistryLock&) = delete;
  RegistryLock& operator=(const RegistryLock&) = delete;
  bool held() const { return held_; }
  Registry& registry() { return r_; }

 private:
  Registry& r_;
  bool held_ = false;
};

ThreadWindow* FindThread(Registry& r, DWORD thread) {
  for (ThreadWindow& w : r.windows)
    if (w.thread == thread) return &w;
  return nullptr;
}

HINSTANCE OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&DispatchWindowProc), &module);
  return module;
}

// The calling thread's window, created when missing. Called with the mutex held.
ThreadWindow* CreateOwnWindow(Registry& r) {
  if (!r.class_registered) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DispatchWindowProc;
    wc.hInstance = OwnModule();
    wc.lpszClassName = r.class_name.c_str();
    r.class_registered = RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    if (!r.class_registered) return nullptr;
  }
  HWND window = CreateWindowExW(0, r.class_name.c_str(), L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                nullptr, OwnModule(), nullptr);
  if (!window) return nullptr;
  r.windows.push_back({GetCurrentThreadId(), window, {}});
  return &r.windows.back();
}

UINT Register(const HandlerEntry& wanted, DWORD thread) {
  try {
    RegistryLock lock;
    if (!lock.held()) return 0;
    Registry& r = lock.registry();
    ThreadWindow* w = FindThread(r, thread);
    if (!w && thread == GetCurrentThreadId()) w = CreateOwnWindow(r);
    if (!w) return 0;
    HandlerEntry entry = wanted;
    auto uses = [&](UINT message) {
      return std::any_of(w->handlers.begin(), w->handlers.end(),
                         [&](const HandlerEntry& h) { return h.message == message; });
    };
    if (entry.message == 0) {
      entry.message = kFirstAutomaticMessage;
      while (uses(entry.message)) ++entry.message;
    } else if (std::any_of(w->handlers.begin(), w->handlers.end(), [&](const HandlerEntry& h) {
                 return h.message == entry.message && h.SameHandler(entry);
               })) {
      return 0;
    }
    w->handlers.push_back(entry);
    return entry.message;
  } catch (...) {
    return 0;
  }
}

void Unregister(const HandlerEntry& wanted, DWORD thread) {
  try {
    RegistryLock lock;
    if (!lock.held()) return;
    Registry& r = lock.registry();
    ThreadWindow* w = FindThread(r, thread);
    if (!w) return;
    std::erase_if(w->handlers, [&](const HandlerEntry& h) {
      return h.SameHandler(wanted) && (wanted.message == 0 || h.message == wanted.message);
    });
    if (!w->handlers.empty()) return;
    HWND window = w->window;
    bool own = w->thread == GetCurrentThreadId();
    r.windows.erase(r.windows.begin() + (w - r.windows.data()));
    if (own)
      DestroyWindow(window);
    else
      PostMessageW(window, WM_CLOSE, 0, 0);
  } catch (...) {
  }
}

std::vector<HandlerEntry> HandlersOf(HWND window) {
  RegistryLock lock;
  if (!lock.held()) return {};
  for (const ThreadWindow& w : lock.registry().windows)
    if (w.window == window) return w.handlers;
  return {};
}

LRESULT CALLBACK DispatchWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT result = IsWindowUnicode(window) ? DefWindowProcW(window, message, wparam, lparam)
                                           : DefWindowProcA(window, message, wparam, lparam);
  if (!IsDispatched(message)) return result;
  try {
    for (const HandlerEntry& h : HandlersOf(window)) {
      if (h.message != message) continue;
      if (h.method)
        reinterpret_cast<MethodMessageHandler>(h.code)(h.object, window, message, wparam, lparam,
                                                       result);
      else
        reinterpret_cast<MessageHandler>(h.code)(window, message, wparam, lparam, result);
    }
  } catch (...) {
    // A handler's error ends this dispatch, never the window's thread.
  }
  return result;
}

}  // namespace

UINT RegisterMessageHandler(MessageHandler handler, UINT message, DWORD thread_id) {
  if (!handler) return 0;
  return Register({message, reinterpret_cast<void*>(handler), nullptr, false}, thread_id);
}

UINT RegisterMessageHandler(void* object, MethodMessageHandler code, UINT message,
                            DWORD thread_id) {
  if (!code) return 0;
  return Register({message, reinterpret_cast<void*>(code), object, true}, thread_id);
}

void UnregisterMessageHandler(MessageHandler handler, UINT message, DWORD thread_id) {
  Unregister({message, reinterpret_cast<void*>(handler), nullptr, false}, thread_id);
}

void UnregisterMessageHandler(void* object, MethodMessageHandler code, UINT message,
                              DWORD thread_id) {
  Unregister({message, reinterpret_cast<void*>(code), object, true}, thread_id);
}

HWND MessageHandlerWindow(DWORD thread_id) {
  try {
    RegistryLock lock;
    if (!lock.held()) return nullptr;
    ThreadWindow* w = FindThread(lock.registry(), thread_id);
    return w ? w->window : nullptr;
  } catch (...) {
    return nullptr;
  }
}

const wchar_t* MessageHandlerMutexName() {
  RegistryLock lock;
  return lock.registry().mutex_name.c_str();
}

const wchar_t* MessageHandlerClassName() {
  RegistryLock lock;
  return lock.registry().class_name.c_str();
}

void ShutdownMessageHandlers() {
  Registry& r = TheRegistry();
  if (r.mutex) CloseHandle(std::exchange(r.mutex, nullptr));
}

}  // namespace support
