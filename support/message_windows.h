// Message-handler windows: each thread that asks gets one hidden top-level window whose
// messages are delivered to handlers registered for them. Other threads post or send to that
// window to run code in its thread; broadcasts such as WM_SETTINGCHANGE and WM_ENDSESSION
// reach its handlers too.
//
// The registry is process-wide and guarded by a named mutex. Handlers are called in the
// window's thread, outside the mutex, from a copy of the handler list: a handler may register
// or remove handlers, its own included. No function here raises.
#pragma once

#include <windows.h>

namespace support {

// A handler may change the message's result, which starts as the system's default result.
using MessageHandler = void (*)(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                LRESULT& result);
// A method handler: code called with its object first.
using MethodMessageHandler = void (*)(void* object, HWND window, UINT message, WPARAM wparam,
                                      LPARAM lparam, LRESULT& result);

// The first message number that automatic registration hands out.
inline constexpr UINT kFirstAutomaticMessage = 1024;

// Registers handler for message on thread_id's window, creating the window when thread_id is
// the calling thread and has none (a window is never created for another thread). A message
// of 0 takes the lowest number from 1024 up that no handler of the window uses. Gives the
// message number, or 0 when the window is missing or the same registration exists already.
UINT RegisterMessageHandler(MessageHandler handler, UINT message, DWORD thread_id);
UINT RegisterMessageHandler(void* object, MethodMessageHandler code, UINT message, DWORD thread_id);

// Removes every registration of the handler on thread_id's window for message (0: for every
// message). A window left without handlers is destroyed, or asked to close when it belongs to
// another thread.
void UnregisterMessageHandler(MessageHandler handler, UINT message, DWORD thread_id);
void UnregisterMessageHandler(void* object, MethodMessageHandler code, UINT message,
                              DWORD thread_id);

// The handler window of thread_id, or null.
HWND MessageHandlerWindow(DWORD thread_id);

// The names of the registry's mutex and window class, as other tools see them.
const wchar_t* MessageHandlerMutexName();
const wchar_t* MessageHandlerClassName();

// Closes the registry's mutex (at shutdown).
void ShutdownMessageHandlers();

}  // namespace support
