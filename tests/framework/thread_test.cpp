#include "framework/thread.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace framework {
namespace {

class Worker : public Thread {
 public:
  ~Worker() override { WaitFor(); }
  DWORD ran_on = 0;
  int loops = 0;
  bool fail = false;
  DWORD handled_on = 0;

 protected:
  void Execute() override {
    ran_on = GetCurrentThreadId();
    if (fail) throw std::runtime_error("worker failed");
    while (!Terminated()) {
      ++loops;
      Sleep(1);
    }
  }
  void HandleException(std::exception_ptr error) override {
    handled_on = GetCurrentThreadId();
    Thread::HandleException(error);
  }
};

TEST(ThreadTest, RunsOnItsOwnThreadUntilTerminated) {
  Worker w;
  ASSERT_TRUE(w.Start());
  EXPECT_FALSE(w.Start());  // a thread object starts once
  Sleep(50);
  w.Terminate();
  w.WaitFor();
  EXPECT_EQ(w.ran_on, w.ThreadId());
  EXPECT_NE(w.ran_on, GetCurrentThreadId());
  EXPECT_GT(w.loops, 0);
  EXPECT_FALSE(w.FatalException());
}

TEST(ThreadTest, AnEscapingExceptionReachesTheThreadsOwnHandler) {
  Worker w;
  w.fail = true;
  ASSERT_TRUE(w.Start());
  w.WaitFor();
  // Handled on the failing thread itself, and the process lives on.
  EXPECT_EQ(w.handled_on, w.ThreadId());
  ASSERT_TRUE(w.FatalException());
  try {
    std::rethrow_exception(w.FatalException());
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "worker failed");
  }
}

TEST(ThreadTest, WaitingOnAnUnstartedThreadReturns) {
  Worker w;
  w.WaitFor();
  EXPECT_EQ(w.Handle(), nullptr);
}

}  // namespace
}  // namespace framework
