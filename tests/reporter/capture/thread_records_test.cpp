#include "reporter/capture/thread_records.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <vector>

#include "support/text_rules.h"

namespace {

using namespace capture;
using support::DollarHex;

// A thread that waits until it is let go. Tests keep to one such thread at a time: under Wine
// emulated by qemu, several threads that start and end side by side can bring the process down.
class Waiter {
 public:
  Waiter() {
    release_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Run, release_, 0, &id_);
  }
  ~Waiter() {
    Finish();
    CloseHandle(thread_);
    CloseHandle(release_);
  }
  void Finish() {
    SetEvent(release_);
    WaitForSingleObject(thread_, INFINITE);
  }
  DWORD id() const { return id_; }
  HANDLE handle() const { return thread_; }

 private:
  static DWORD WINAPI Run(void* release) { return WaitForSingleObject(release, INFINITE); }
  HANDLE release_;
  HANDLE thread_;
  DWORD id_ = 0;
};

bool HasRecord(DWORD thread_id) {
  for (ThreadRecord* r = ThreadRecords()->first; r; r = r->next)
    if (r->thread_id == thread_id) return true;
  return false;
}

class ThreadRecords_ : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { OpenThreadRecords(); }
};

TEST_F(ThreadRecords_, MainThreadIsNamedAtOpening) {
  ASSERT_NE(ThreadRecords(), nullptr);
  EXPECT_EQ(MainThreadId(), ListProcessThreads().front());
  EXPECT_EQ(GetThreadDisplayName(MainThreadId(), false),
            "main thread (" + DollarHex(MainThreadId()) + ")");
  std::string name = "velExceptThreadNameBuf" + DollarHex(GetCurrentProcessId());
  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
  EXPECT_NE(mapping, nullptr) << name;
  CloseHandle(mapping);
}

TEST_F(ThreadRecords_, DisplayNames) {
  Waiter worker;
  std::string id = DollarHex(worker.id());
  EXPECT_EQ(GetThreadDisplayName(worker.id(), false), "thread " + id);

  AssignThreadName(worker.id(), "Worker");
  EXPECT_EQ(GetThreadDisplayName(worker.id(), false), "Worker (" + id + ")");

  // Creation facts join the name; what a later call leaves empty is kept.
  static int creating_code;
  SetThreadRecord(worker.id(), nullptr, {}, 0x1234, &creating_code, "TMyThread");
  const void* code = nullptr;
  DWORD creator = 0;
  EXPECT_EQ(GetThreadDisplayName(worker.id(), false, &code, &creator), "Worker (" + id + ")");
  EXPECT_EQ(code, &creating_code);
  EXPECT_EQ(creator, 0x1234u);

  AssignThreadName(worker.id(), "-");
  EXPECT_EQ(GetThreadDisplayName(worker.id(), false), "");
  EXPECT_EQ(GetThreadDisplayName(worker.id(), true), "thread " + id + " (TMyThread)");
  for (const char* hidden : {"AntiFreezeThread", "HandleExceptionThread"}) {
    AssignThreadName(worker.id(), hidden);
    EXPECT_EQ(GetThreadDisplayName(worker.id(), false), "");
    EXPECT_EQ(GetThreadDisplayName(worker.id(), true), std::string(hidden) + " (" + id + ")");
  }

  // An empty name without creating code removes the record.
  SetThreadRecord(worker.id(), nullptr, {}, 0, nullptr, {});
  EXPECT_FALSE(HasRecord(worker.id()));
  EXPECT_EQ(GetThreadDisplayName(worker.id(), true), "thread " + id);
}

TEST_F(ThreadRecords_, RecordsNeedAThreadHandle) {
  // A thread that cannot be opened gets no record.
  DWORD gone;
  {
    Waiter ended;
    gone = ended.id();
  }
  EXPECT_FALSE(SetThreadRecord(gone, nullptr, "Ghost", 0, nullptr, {}));
  EXPECT_FALSE(HasRecord(gone));

  // Given handles are duplicated, with just the access the record needs.
  Waiter worker;
  ASSERT_TRUE(SetThreadRecord(worker.id(), worker.handle(), "Given", 0, nullptr, {}));
  ThreadRecord* r = ThreadRecords()->first;
  ASSERT_EQ(r->thread_id, worker.id());
  EXPECT_NE(r->handle, worker.handle());
  EXPECT_EQ(WaitForSingleObject(r->handle, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  SetThreadRecord(worker.id(), nullptr, {}, 0, nullptr, {});
}

TEST_F(ThreadRecords_, EndedThreadIsTidiedAtTheNextChange) {
  DWORD id;
  {
    Waiter worker;
    id = worker.id();
    AssignThreadName(id, "Short-lived");
  }  // the thread ends
  EXPECT_TRUE(HasRecord(id));
  AssignThreadName(MainThreadId(), kMainThreadName);
  EXPECT_FALSE(HasRecord(id));
}

TEST_F(ThreadRecords_, ShortRecordsOfOlderModulesAreRead) {
  Waiter worker;
  HANDLE heap = GetProcessHeap();
  auto* name = static_cast<char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 6));
  memcpy(name, "Short", 5);
  // Only thread id, name and next: a 12-byte block.
  auto* r = static_cast<ThreadRecord*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 12));
  r->thread_id = worker.id();
  r->name = name;
  {
    ThreadRecordBlock* block = ThreadRecords();
    WaitForSingleObject(block->list_mutex, INFINITE);
    r->next = block->first;
    block->first = r;
    ReleaseMutex(block->list_mutex);
  }
  const void* code = &heap;
  DWORD creator = 77;
  EXPECT_EQ(GetThreadDisplayName(worker.id(), true, &code, &creator),
            "Short (" + DollarHex(worker.id()) + ")");
  EXPECT_EQ(code, nullptr);
  EXPECT_EQ(creator, 0u);

  // A change replaces it with a full record and keeps its name.
  SetThreadRecord(worker.id(), nullptr, {}, 0, &code, "TWorker");
  ThreadRecord* full = ThreadRecords()->first;
  ASSERT_EQ(full->thread_id, worker.id());
  EXPECT_EQ(HeapSize(heap, 0, full), sizeof(ThreadRecord));
  EXPECT_STREQ(full->name, "Short");
  EXPECT_STREQ(full->creation_info, "TWorker");
  EXPECT_NE(full->handle, nullptr);
  SetThreadRecord(worker.id(), nullptr, {}, 0, nullptr, {});
}

TEST_F(ThreadRecords_, SecondModuleSharesTheRecords) {
  HMODULE peer = LoadLibraryW(L"thread_records_peer.dll");
  ASSERT_NE(peer, nullptr);
  auto proc = [peer](const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(peer, name));
  };
  auto open = reinterpret_cast<void (*)()>(proc("PeerOpen"));
  auto close = reinterpret_cast<void (*)()>(proc("PeerClose"));
  auto main_thread = reinterpret_cast<DWORD (*)()>(proc("PeerMainThread"));
  auto block = reinterpret_cast<ThreadRecordBlock* (*)()>(proc("PeerBlock"));
  auto name = reinterpret_cast<void (*)(DWORD, const char*)>(proc("PeerName"));
  auto display = reinterpret_cast<void (*)(DWORD, char*, int)>(proc("PeerDisplayName"));
  ASSERT_TRUE(open && close && main_thread && block && name && display);

  LONG users = ThreadRecords()->users;
  open();
  EXPECT_EQ(ThreadRecords()->users, users + 1);
  EXPECT_NE(static_cast<void*>(block()), static_cast<void*>(ThreadRecords()));  // own view
  EXPECT_EQ(block()->list_mutex, ThreadRecords()->list_mutex);
  EXPECT_EQ(main_thread(), MainThreadId());  // the oldest record

  Waiter worker;
  std::string id = DollarHex(worker.id());
  name(worker.id(), "FromPeer");
  EXPECT_EQ(GetThreadDisplayName(worker.id(), false), "FromPeer (" + id + ")");
  AssignThreadName(worker.id(), "FromHere");
  char text[64] = {};
  display(worker.id(), text, sizeof text);
  EXPECT_EQ(std::string(text), "FromHere (" + id + ")");
  name(worker.id(), "-");
  display(worker.id(), text, sizeof text);
  EXPECT_EQ(std::string(text), "");

  close();
  EXPECT_EQ(ThreadRecords()->users, users);
  FreeLibrary(peer);
  // The records outlive the module that wrote them.
  EXPECT_EQ(GetThreadDisplayName(worker.id(), true), "thread " + id);
  SetThreadRecord(worker.id(), nullptr, {}, 0, nullptr, {});
}

std::vector<DWORD> SnapshotThreads() {
  std::vector<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.push_back(entry.th32ThreadID);
  CloseHandle(snapshot);
  return ids;
}

TEST_F(ThreadRecords_, ListsTheProcessThreadsInTheSystemsOrder) {
  Waiter worker;
  std::vector<DWORD> ids = ListProcessThreads();
  EXPECT_NE(std::find(ids.begin(), ids.end(), worker.id()), ids.end());
  EXPECT_NE(std::find(ids.begin(), ids.end(), GetCurrentThreadId()), ids.end());
  EXPECT_EQ(ids, SnapshotThreads());
}

}  // namespace
