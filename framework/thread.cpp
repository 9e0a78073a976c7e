#include "framework/thread.h"

namespace framework {

Thread::~Thread() { WaitFor(); }

bool Thread::Start() {
  if (handle_) return false;
  handle_.reset(CreateThread(nullptr, 0, Entry, this, 0, &thread_id_));
  return static_cast<bool>(handle_);
}

void Thread::WaitFor() {
  if (handle_ && GetCurrentThreadId() != thread_id_) WaitForSingleObject(handle_.get(), INFINITE);
}

DWORD WINAPI Thread::Entry(void* param) {
  auto* self = static_cast<Thread*>(param);
  // Nothing may unwind out of a thread's start routine: the runtime would end the process.
  try {
    self->Execute();
  } catch (...) {
    try {
      self->HandleException(std::current_exception());
    } catch (...) {
    }
  }
  return 0;
}

}  // namespace framework
