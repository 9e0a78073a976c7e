// A thread object: derive, put the work in Execute, Start it. The thread is created by
// the system's CreateThread, so hooks on thread creation see it like any other thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <exception>

#include "framework/win_handle.h"

namespace framework {

class Thread {
 public:
  Thread() = default;
  // Waits for the thread; a derived class whose Execute uses its own members must call
  // WaitFor in its destructor, since those members are gone by the time this one runs.
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Creates the thread; false when the system refuses or it was started before.
  bool Start();
  // Waits until Execute has returned (at once when the thread never started).
  void WaitFor();
  // Asks Execute to end; Execute looks at Terminated() and returns when it sees it.
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }

  HANDLE Handle() const { return handle_.get(); }
  DWORD ThreadId() const { return thread_id_; }
  // What escaped Execute, if anything; kept for whoever waits on the thread.
  std::exception_ptr FatalException() const { return fatal_exception_; }

 protected:
  virtual void Execute() = 0;
  // The thread's own handler: gets everything that escapes Execute, on the thread itself.
  // The default keeps it as FatalException.
  virtual void HandleException(std::exception_ptr error) { fatal_exception_ = error; }

 private:
  static DWORD WINAPI Entry(void* self);

  ScopedHandle handle_;
  DWORD thread_id_ = 0;
  std::atomic<bool> terminated_{false};
  std::exception_ptr fatal_exception_;
};

}  // namespace framework
