#include "support/message_windows.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace support;

DWORD Me() { return GetCurrentThreadId(); }

std::vector<std::string> g_calls;

void First(HWND, UINT, WPARAM, LPARAM, LRESULT& result) {
  g_calls.push_back("first");
  result = 7;
}
void Second(HWND, UINT, WPARAM wparam, LPARAM, LRESULT& result) {
  g_calls.push_back("second");
  result += static_cast<LRESULT>(wparam);
}

// Removes itself and registers Second while being called.
void Rearranging(HWND, UINT message, WPARAM, LPARAM, LRESULT&) {
  g_calls.push_back("rearranging");
  UnregisterMessageHandler(Rearranging, message, Me());
  RegisterMessageHandler(Second, message, Me());
}

struct Counter {
  int calls = 0;
};
void CountCall(void* object, HWND, UINT, WPARAM, LPARAM, LRESULT& result) {
  result = ++static_cast<Counter*>(object)->calls;
}

class MessageWindows : public ::testing::Test {
 protected:
  void SetUp() override { g_calls.clear(); }
  void TearDown() override {
    for (MessageHandler h : {First, Second, Rearranging}) UnregisterMessageHandler(h, 0, Me());
  }
};

TEST_F(MessageWindows, AutomaticNumbersStartAt1024AndAreReused) {
  EXPECT_EQ(RegisterMessageHandler(First, 0, Me()), 1024u);
  EXPECT_EQ(RegisterMessageHandler(Second, 0, Me()), 1025u);
  UnregisterMessageHandler(First, 1024, Me());
  EXPECT_EQ(RegisterMessageHandler(Second, 0, Me()), 1024u);
  // A registration that exists already is refused.
  EXPECT_EQ(RegisterMessageHandler(Second, 1025, Me()), 0u);
  EXPECT_EQ(RegisterMessageHandler(First, 1025, Me()), 1025u);
}

TEST_F(MessageWindows, NamesCarryThreadAndRoutine) {
  ASSERT_NE(RegisterMessageHandler(First, 0, Me()), 0u);
  std::wstring mutex = MessageHandlerMutexName();
  std::wstring window_class = MessageHandlerClassName();
  ASSERT_EQ(mutex.rfind(L"velToolsMsgHandlerMutex$", 0), 0u);
  ASSERT_EQ(window_class.rfind(L"velToolsMsgHandlerWindow$", 0), 0u);
  EXPECT_EQ(mutex.substr(23), window_class.substr(24));
  EXPECT_EQ(std::count(mutex.begin(), mutex.end(), L'$'), 2);

  HANDLE opened = OpenMutexW(SYNCHRONIZE, FALSE, mutex.c_str());
  EXPECT_NE(opened, nullptr);
  CloseHandle(opened);
  HWND window = MessageHandlerWindow(Me());
  EXPECT_EQ(FindWindowW(window_class.c_str(), nullptr), window);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(GetParent(window), nullptr);
}

TEST_F(MessageWindows, HandlersChangeTheResultInOrder) {
  UINT message = RegisterMessageHandler(First, 0, Me());
  ASSERT_EQ(RegisterMessageHandler(Second, message, Me()), message);
  HWND window = MessageHandlerWindow(Me());
  EXPECT_EQ(SendMessageW(window, message, 5, 0), 12);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"first", "second"}));

  // Listed system messages reach the handlers, others below WM_USER range do not.
  g_calls.clear();
  RegisterMessageHandler(First, WM_SETTINGCHANGE, Me());
  RegisterMessageHandler(First, WM_MOVE, Me());
  SendMessageW(window, WM_SETTINGCHANGE, 0, 0);
  SendMessageW(window, WM_MOVE, 0, 0);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"first"}));
}

TEST_F(MessageWindows, HandlersMayRearrangeHandlersWhileCalled) {
  UINT message = RegisterMessageHandler(Rearranging, 0, Me());
  ASSERT_EQ(RegisterMessageHandler(First, message, Me()), message);
  HWND window = MessageHandlerWindow(Me());
  SendMessageW(window, message, 0, 0);
  // The dispatch under way runs on its copy of the list.
  EXPECT_EQ(g_calls, (std::vector<std::string>{"rearranging", "first"}));
  g_calls.clear();
  SendMessageW(window, message, 0, 0);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"first", "second"}));
}

TEST_F(MessageWindows, MethodHandlersAreKeyedByTheirObject) {
  Counter a, b;
  UINT message = RegisterMessageHandler(&a, CountCall, 0, Me());
  ASSERT_EQ(RegisterMessageHandler(&b, CountCall, message, Me()), message);
  EXPECT_EQ(RegisterMessageHandler(&a, CountCall, message, Me()), 0u);
  HWND window = MessageHandlerWindow(Me());
  SendMessageW(window, message, 0, 0);
  UnregisterMessageHandler(&a, CountCall, message, Me());
  SendMessageW(window, message, 0, 0);
  EXPECT_EQ(a.calls, 1);
  EXPECT_EQ(b.calls, 2);
  // The last handler gone, the window goes too.
  UnregisterMessageHandler(&b, CountCall, 0, Me());
  EXPECT_EQ(MessageHandlerWindow(Me()), nullptr);
  EXPECT_FALSE(IsWindow(window));
}

std::atomic<DWORD> g_handled_in{0};
void RecordThread(HWND, UINT, WPARAM, LPARAM, LRESULT& result) {
  g_handled_in = GetCurrentThreadId();
  result = 99;
}

TEST_F(MessageWindows, HandlersRunInTheWindowsThread) {
  std::atomic<DWORD> worker_id{0};
  std::atomic<UINT> message{0};
  std::thread worker([&] {
    message = RegisterMessageHandler(RecordThread, 0, Me());
    worker_id = Me();
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  });
  while (worker_id == 0) Sleep(1);
  ASSERT_NE(message.load(), 0u);
  // No window is made for another thread.
  EXPECT_EQ(RegisterMessageHandler(First, 0, worker_id + 0x10000), 0u);

  HWND window = MessageHandlerWindow(worker_id);
  EXPECT_EQ(SendMessageW(window, message, 0, 0), 99);
  EXPECT_EQ(g_handled_in, worker_id.load());
  // Removed from here, the worker's window is asked to close and goes away in its thread.
  UnregisterMessageHandler(RecordThread, 0, worker_id);
  EXPECT_EQ(MessageHandlerWindow(worker_id), nullptr);
  for (int i = 0; i < 500 && IsWindow(window); ++i) Sleep(10);
  EXPECT_FALSE(IsWindow(window));
  PostThreadMessageW(worker_id, WM_QUIT, 0, 0);
  worker.join();
}

}  // namespace
