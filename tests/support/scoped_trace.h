// PELMORA_TRACE(message): googletest's SCOPED_TRACE for tests that also run under Wine.
//
// On Windows googletest keeps its traces per thread and starts a thread to watch every thread
// that pushes one; the Windows test programs keep to the threads they test (see
// tests/support/test_main.cpp). There the trace is a plain stack, which the test programs'
// failure printer prints below each failure, innermost first, as googletest does.
#pragma once

#include <gtest/gtest.h>

#ifdef _WIN32

#include <sstream>
#include <string>
#include <vector>

namespace pelmora_test {

inline std::vector<std::string>& TraceStack() {
  static std::vector<std::string> stack;
  return stack;
}

class ScopedTrace {
 public:
  template <typename Message>
  ScopedTrace(const char* file, int line, const Message& message) {
    std::ostringstream text;
    text << file << ":" << line << ": " << message;
    TraceStack().push_back(text.str());
  }
  ~ScopedTrace() { TraceStack().pop_back(); }
  ScopedTrace(const ScopedTrace&) = delete;
  ScopedTrace& operator=(const ScopedTrace&) = delete;
};

}  // namespace pelmora_test

#define PELMORA_TRACE(message)                                                     \
  const ::pelmora_test::ScopedTrace GTEST_CONCAT_TOKEN_(pelmora_trace_, __LINE__)( \
      __FILE__, __LINE__, (message))

#else

#define PELMORA_TRACE(message) SCOPED_TRACE(message)

#endif
