// The main of the Windows test programs. Two things differ from googletest's own main:
//
// - Failures are printed without OutputDebugString. googletest sends every failure to the
//   debugger as well; under Wine on an emulated CPU the exception that carries it, raised while
//   the threads library's vectored handler is installed, sends the process into an endless
//   fault loop, so a failing assertion would hang the test program instead of failing it.
// - The program starts no thread of its own, and the tests trace with PELMORA_TRACE instead of
//   googletest's SCOPED_TRACE, which starts a watcher thread (tests/support/scoped_trace.h).
//   Under Wine on an emulated i386 CPU all threads' TEB selectors share one descriptor, and it
//   holds the base of the thread that started last: a signal that reaches an older thread
//   (the wineserver suspends threads and hands them system APCs with signals) reloads its
//   selector and leaves it running on the newest thread's TEB, with that thread's server
//   pipes, which ends in a hang or a broken server connection. A test that hangs is ended from
//   outside: tools/wine-run.sh ends a test program that prints nothing for five minutes.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "tests/support/scoped_trace.h"

namespace {

// Forwards every event to googletest's own printer except failures, which it prints itself.
class FailurePrinter : public testing::TestEventListener {
 public:
  explicit FailurePrinter(testing::TestEventListener* inner) : inner_(inner) {}

  void OnTestPartResult(const testing::TestPartResult& result) override {
    if (result.type() == testing::TestPartResult::kSuccess) return;
    const char* kind = result.skipped() ? "Skipped" : "Failure";
    if (result.file_name())
      std::printf("%s:%d: %s\n%s\n", result.file_name(), result.line_number(), kind,
                  result.message());
    else
      std::printf("unknown file: %s\n%s\n", kind, result.message());
    const auto& traces = pelmora_test::TraceStack();
    if (!traces.empty()) std::printf("Trace:\n");
    for (auto trace = traces.rbegin(); trace != traces.rend(); ++trace)
      std::printf("%s\n", trace->c_str());
    std::fflush(stdout);
  }

  void OnTestProgramStart(const testing::UnitTest& u) override { inner_->OnTestProgramStart(u); }
  void OnTestIterationStart(const testing::UnitTest& u, int i) override {
    inner_->OnTestIterationStart(u, i);
  }
  void OnEnvironmentsSetUpStart(const testing::UnitTest& u) override {
    inner_->OnEnvironmentsSetUpStart(u);
  }
  void OnEnvironmentsSetUpEnd(const testing::UnitTest& u) override {
    inner_->OnEnvironmentsSetUpEnd(u);
  }
  void OnTestSuiteStart(const testing::TestSuite& s) override { inner_->OnTestSuiteStart(s); }
  void OnTestCaseStart(const testing::TestCase& s) override { inner_->OnTestCaseStart(s); }
  void OnTestStart(const testing::TestInfo& t) override { inner_->OnTestStart(t); }
  void OnTestDisabled(const testing::TestInfo& t) override { inner_->OnTestDisabled(t); }
  void OnTestEnd(const testing::TestInfo& t) override { inner_->OnTestEnd(t); }
  void OnTestSuiteEnd(const testing::TestSuite& s) override { inner_->OnTestSuiteEnd(s); }
  void OnTestCaseEnd(const testing::TestCase& s) override { inner_->OnTestCaseEnd(s); }
  void OnEnvironmentsTearDownStart(const testing::UnitTest& u) override {
    inner_->OnEnvironmentsTearDownStart(u);
  }
  void OnEnvironmentsTearDownEnd(const testing::UnitTest& u) override {
    inner_->OnEnvironmentsTearDownEnd(u);
  }
  void OnTestIterationEnd(const testing::UnitTest& u, int i) override {
    inner_->OnTestIterationEnd(u, i);
  }
  void OnTestProgramEnd(const testing::UnitTest& u) override { inner_->OnTestProgramEnd(u); }

 private:
  std::unique_ptr<testing::TestEventListener> inner_;
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
  listeners.Append(new FailurePrinter(listeners.Release(listeners.default_result_printer())));
  return RUN_ALL_TESTS();
}
