// The main of the Windows test programs. Two things differ from googletest's own main:
//
// - Failures are printed without OutputDebugString. googletest sends every failure to the
//   debugger as well; under Wine on an emulated CPU the exception that carries it, raised while
//   the threads library's vectored handler is installed, sends the process into an endless
//   fault loop, so a failing assertion would hang the test program instead of failing it.
// - A watchdog ends a test that runs far longer than any test should, naming the test and the
//   program's windows (a modal box or dialog that nothing closes is the usual cause), so that
//   a hang costs minutes and says where it is rather than using up the whole run's time limit.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// Longest time a single test may run, unless PELMORA_TEST_LIMIT_S says otherwise. The slowest
// test under emulated Wine takes about eleven seconds.
constexpr DWORD kDefaultTestLimitS = 5 * 60;
// The exit code of a program the watchdog ended, as timeout(1) uses it; tools/wine-run.sh
// runs such a program once more.
constexpr UINT kHungExitCode = 124;

DWORD TestLimitMs() {
  char text[16] = {};
  DWORD seconds = kDefaultTestLimitS;
  const DWORD length = GetEnvironmentVariableA("PELMORA_TEST_LIMIT_S", text, sizeof text);
  if (length > 0 && length < sizeof text) seconds = std::strtoul(text, nullptr, 10);
  return (seconds ? seconds : kDefaultTestLimitS) * 1000;
}

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

// Lists the program's top-level windows. InternalGetWindowText sends no message, so it
// cannot block on a thread that has stopped processing them.
BOOL CALLBACK PrintWindowOfThisProcess(HWND hwnd, LPARAM) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != GetCurrentProcessId()) return TRUE;
  wchar_t cls[64] = {}, text[256] = {};
  GetClassNameW(hwnd, cls, 64);
  InternalGetWindowText(hwnd, text, 256);
  std::printf("  window \"%ls\" of class %ls%s\n", text, cls,
              IsWindowVisible(hwnd) ? ", visible" : "");
  return TRUE;
}

// Ends the program when one test runs past the limit. Its thread waits on an event that every
// test's start and end sets, so it costs nothing while the tests go on.
class Watchdog : public testing::EmptyTestEventListener {
 public:
  Watchdog() : tick_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    CloseHandle(CreateThread(nullptr, 64 * 1024, Watch, this, 0, nullptr));
  }

  void OnTestStart(const testing::TestInfo& test) override {
    name_ = std::string(test.test_suite_name()) + "." + test.name();
    running_ = true;
    SetEvent(tick_);
  }
  void OnTestEnd(const testing::TestInfo&) override {
    running_ = false;
    SetEvent(tick_);
  }

 private:
  static DWORD WINAPI Watch(void* self) {
    static_cast<Watchdog*>(self)->Run();
    return 0;
  }
  void Run() {
    for (;;) {
      const DWORD waited = WaitForSingleObject(tick_, running_ ? limit_ms_ : INFINITE);
      if (waited != WAIT_TIMEOUT || !running_) continue;  // a test started or ended
      std::printf("\n%s has run for more than %lu seconds; ending the test program.\n",
                  name_.c_str(), limit_ms_ / 1000);
      EnumWindows(PrintWindowOfThisProcess, 0);
      std::fflush(stdout);
      TerminateProcess(GetCurrentProcess(), kHungExitCode);
    }
  }

  const DWORD limit_ms_ = TestLimitMs();
  HANDLE tick_;
  std::string name_;
  std::atomic<bool> running_{false};
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
  listeners.Append(new FailurePrinter(listeners.Release(listeners.default_result_printer())));
  listeners.Append(new Watchdog);
  return RUN_ALL_TESTS();
}
