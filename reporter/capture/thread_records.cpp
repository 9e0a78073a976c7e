#include "reporter/capture/thread_records.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstring>

#include "support/text_rules.h"

namespace capture {
namespace {

ThreadRecordBlock* g_block = nullptr;  // this module's view of the shared block
DWORD g_main_thread = 0;

constexpr DWORD kRecordAccess = SYNCHRONIZE | THREAD_QUERY_INFORMATION;
constexpr DWORD kThreadNamingException = 0x406D1388;
constexpr std::string_view kHiddenNames[] = {"-", "AntiFreezeThread", "HandleExceptionThread"};

// ---- Records on the process heap -----------------------------------------------------------

// The fields a record has, by the size of its heap block.
struct RecordView {
  DWORD thread_id = 0;
  const char* name = nullptr;
  const char* creation_info = nullptr;
  const void* creating_code = nullptr;
  DWORD creating_thread = 0;
  HANDLE handle = nullptr;
};

constexpr std::size_t kShortRecord = offsetof(ThreadRecord, creation_info);   // 12 bytes
constexpr std::size_t kRecordWithoutHandle = offsetof(ThreadRecord, handle);  // 24 bytes

RecordView Read(const ThreadRecord* r) {
  SIZE_T size = HeapSize(GetProcessHeap(), 0, r);
  if (size == static_cast<SIZE_T>(-1)) size = kShortRecord;
  RecordView v;
  v.thread_id = r->thread_id;
  v.name = r->name;
  if (size >= kRecordWithoutHandle) {
    v.creation_info = r->creation_info;
    v.creating_code = r->creating_code;
    v.creating_thread = r->creating_thread;
  }
  if (size >= sizeof(ThreadRecord)) v.handle = r->handle;
  return v;
}

std::string TextOf(const char* s) { return s ? std::string(s) : std::string(); }

char* HeapText(std::string_view s) {
  auto* p = static_cast<char*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, s.size() + 1));
  if (p) std::memcpy(p, s.data(), s.size());
  return p;
}

// Frees a record and its texts; its handle is the caller's business.
void FreeRecord(ThreadRecord* r) {
  RecordView v = Read(r);
  HANDLE heap = GetProcessHeap();
  if (v.name) HeapFree(heap, 0, const_cast<char*>(v.name));
  if (v.creation_info) HeapFree(heap, 0, const_cast<char*>(v.creation_info));
  HeapFree(heap, 0, r);
}

template <class Pred>
ThreadRecord* Unlink(ThreadRecordBlock* b, Pred pred) {
  for (ThreadRecord** link = &b->first; *link; link = &(*link)->next) {
    if (!pred(*link)) continue;
    ThreadRecord* r = *link;
    *link = r->next;
    return r;
  }
  return nullptr;
}

ThreadRecord* Find(ThreadRecordBlock* b, DWORD thread_id) {
  for (ThreadRecord* r = b->first; r; r = r->next)
    if (r->thread_id == thread_id) return r;
  return nullptr;
}

// Removes the first record whose thread has ended.
void TidyOneEndedThread(ThreadRecordBlock* b) {
  ThreadRecord* ended = Unlink(b, [](ThreadRecord* r) {
    HANDLE h = Read(r).handle;
    return h && WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
  });
  if (!ended) return;
  CloseHandle(Read(ended).handle);
  FreeRecord(ended);
}

// Holds the list mutex; an abandoned mutex counts as held.
class ListLock {
 public:
  ListLock(ThreadRecordBlock* b, DWORD timeout) : mutex_(b ? b->list_mutex : nullptr) {
    DWORD wait = mutex_ ? WaitForSingleObject(mutex_, timeout) : WAIT_FAILED;
    held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  }
  ~ListLock() {
    if (held_) ReleaseMutex(mutex_);
  }
  ListLock(const ListLock&) = delete;
  ListLock& operator=(const ListLock&) = delete;
  explicit operator bool() const { return held_; }

 private:
  HANDLE mutex_;
  bool held_ = false;
};

// ---- The thread-naming exception -----------------------------------------------------------

// Set while this thread raises the naming exception, so that the handler below swallows
// exactly that one.
thread_local bool t_raising_name = false;

LONG CALLBACK SwallowThreadNaming(EXCEPTION_POINTERS* info) {
  if (t_raising_name && info->ExceptionRecord->ExceptionCode == kThreadNamingException)
    return EXCEPTION_CONTINUE_EXECUTION;
  return EXCEPTION_CONTINUE_SEARCH;
}

void TellDebuggerName(DWORD thread_id, const std::string& name) {
  PVOID handler = AddVectoredExceptionHandler(1, SwallowThreadNaming);
  if (!handler) return;
  ULONG_PTR params[4] = {0x1000, reinterpret_cast<ULONG_PTR>(name.c_str()), thread_id, 0};
  t_raising_name = true;
  RaiseException(kThreadNamingException, 0, 4, params);
  t_raising_name = false;
  RemoveVectoredExceptionHandler(handler);
}

// ---- Thread lists ----------------------------------------------------------------------------

// System process information (class 5), 32-bit layout.
constexpr std::size_t kProcessNext = 0x00;
constexpr std::size_t kProcessThreadCount = 0x04;
constexpr std::size_t kProcessId = 0x44;
constexpr std::size_t kProcessThreads = 0xB8;
constexpr std::size_t kThreadEntrySize = 0x40;
constexpr std::size_t kThreadId = 0x24;
constexpr ULONG kSystemProcessInformation = 5;
constexpr ULONG kFirstGuess = 128 * 1024;
constexpr ULONG kLargestBuffer = 4 * 1024 * 1024;

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

bool ThreadsFromSystemInformation(std::vector<DWORD>* ids) {
  using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySystemInformation")));
  if (!query) return false;
  ULONG needed = 0;
  query(kSystemProcessInformation, nullptr, 0, &needed);
  ULONG size = needed ? needed * 2 : kFirstGuess;
  std::vector<std::uint8_t> buffer;
  for (;;) {
    buffer.assign(size, 0);
    if (query(kSystemProcessInformation, buffer.data(), size, &needed) >= 0) break;
    if (size >= kLargestBuffer) return false;
    size *= 2;
  }
  DWORD own = GetCurrentProcessId();
  for (std::size_t at = 0; at + kProcessThreads <= buffer.size();) {
    if (U32(buffer, at + kProcessId) == own) {
      std::uint32_t count = U32(buffer, at + kProcessThreadCount);
      for (std::uint32_t i = 0; i < count; ++i) {
        std::size_t entry = at + kProcessThreads + i * kThreadEntrySize;
        if (entry + kThreadEntrySize > buffer.size()) break;
        ids->push_back(U32(buffer, entry + kThreadId));
      }
      return true;
    }
    std::uint32_t next = U32(buffer, at + kProcessNext);
    if (next == 0) break;
    at += next;
  }
  return false;
}

void ThreadsFromSnapshot(std::vector<DWORD>* ids) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  DWORD own = GetCurrentProcessId();
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == own) ids->push_back(entry.th32ThreadID);
  CloseHandle(snapshot);
}

// ---- The shared block ------------------------------------------------------------------------

std::wstring BlockName() {
  std::string name = "velExceptThreadNameBuf" + support::DollarHex(GetCurrentProcessId());
  return std::wstring(name.begin(), name.end());
}

[[noreturn]] void FailOpening(const char* text) {
  MessageBoxA(nullptr, text, "velExcept", MB_OK | MB_ICONSTOP | MB_TASKMODAL);
  ExitProcess(0);
}

}  // namespace

ThreadRecordBlock* ThreadRecords() { return g_block; }

DWORD MainThreadId() { return g_main_thread; }

void OpenThreadRecords() {
  if (g_block) return;
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);  // everyone may use it
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0,
                                      sizeof(ThreadRecordBlock), BlockName().c_str());
  bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
  if (!mapping) FailOpening("internal error (opening global buffer)");
  auto* block = static_cast<ThreadRecordBlock*>(
      MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ThreadRecordBlock)));
  if (!block)
    FailOpening(
        "internal error (mapping global buffer)\r\n\r\n"
        "Please tell the Pelmora developers about this error: dev@pelmora.invalid");
  g_block = block;
  DWORD runtime_main = GetCurrentThreadId();
  if (existed) {
    InterlockedIncrement(&block->users);
    CloseHandle(mapping);  // the creator's handle keeps the block; the view keeps ours
    ListLock lock(block, INFINITE);
    ThreadRecord* oldest = block->first;
    while (oldest && oldest->next) oldest = oldest->next;
    g_main_thread = oldest ? oldest->thread_id : runtime_main;
    return;
  }
  block->users = 1;
  block->watchdog_mutex = CreateMutexW(nullptr, FALSE, nullptr);
  block->list_mutex = CreateMutexW(nullptr, FALSE, nullptr);
  block->first = nullptr;
  block->mapping = mapping;
  std::vector<DWORD> threads = support::DropErrors([] { return ListProcessThreads(); });
  g_main_thread = threads.empty() ? runtime_main : threads.front();
  SetThreadRecord(g_main_thread, nullptr, kMainThreadName, 0, nullptr, {});
}

void CloseThreadRecords() {
  ThreadRecordBlock* block = std::exchange(g_block, nullptr);
  if (!block) return;
  if (InterlockedDecrement(&block->users) == 0) {
    g_block = block;
    SetThreadRecord(GetCurrentThreadId(), nullptr, {}, 0, nullptr, {});
    g_block = nullptr;
    CloseHandle(block->mapping);
    CloseHandle(block->list_mutex);
    CloseHandle(block->watchdog_mutex);
  }
  UnmapViewOfFile(block);
}

bool SetThreadRecord(DWORD thread_id, HANDLE thread, std::string_view name, DWORD creating_thread,
                     const void* creating_code, std::string_view creation_info) {
  try {
    ThreadRecordBlock* block = g_block;
    ListLock lock(block, INFINITE);
    if (!lock) return false;
    bool removal = name.empty() && !creating_code;
    std::string new_name(name), new_info(creation_info);
    HANDLE handle = nullptr;
    if (ThreadRecord* old =
            Unlink(block, [&](ThreadRecord* r) { return r->thread_id == thread_id; })) {
      RecordView v = Read(old);
      if (new_name.empty()) new_name = TextOf(v.name);
      if (new_info.empty()) new_info = TextOf(v.creation_info);
      if (!creating_code) creating_code = v.creating_code;
      if (!creating_thread) creating_thread = v.creating_thread;
      handle = v.handle;
      FreeRecord(old);
    }
    bool written = false;
    if (removal) {
      if (handle) CloseHandle(handle);
    } else {
      HANDLE process = GetCurrentProcess();
      if (!handle && thread)
        DuplicateHandle(process, thread, process, &handle, kRecordAccess, FALSE, 0);
      else if (!handle)
        handle = OpenThread(kRecordAccess, FALSE, thread_id);
      if (handle) {
        auto* r = static_cast<ThreadRecord*>(
            HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ThreadRecord)));
        char* name_text = r ? HeapText(new_name) : nullptr;
        char* info_text = name_text ? HeapText(new_info) : nullptr;
        if (info_text) {
          *r = {thread_id,     name_text,       block->first, info_text,
                creating_code, creating_thread, handle};
          block->first = r;
          written = true;
        } else {
          HANDLE heap = GetProcessHeap();
          if (name_text) HeapFree(heap, 0, name_text);
          if (r) HeapFree(heap, 0, r);
          CloseHandle(handle);
        }
      }
    }
    TidyOneEndedThread(block);
    return written;
  } catch (...) {
    return false;
  }
}

void AssignThreadName(DWORD thread_id, std::string_view name) {
  try {
    SetThreadRecord(thread_id, nullptr, name, 0, nullptr, {});
    if (!name.empty() && IsDebuggerPresent()) TellDebuggerName(thread_id, std::string(name));
  } catch (...) {
  }
}

std::string GetThreadDisplayName(DWORD thread_id, bool show_hidden, const void** creating_code,
                                 DWORD* creating_thread) {
  try {
    std::string id = support::DollarHex(thread_id);
    RecordView v;
    std::string name, info;
    {
      ListLock lock(g_block, 50);
      if (!lock) return "thread " + id;
      if (ThreadRecord* r = Find(g_block, thread_id)) {
        v = Read(r);
        name = TextOf(v.name);
        info = TextOf(v.creation_info);
      }
    }
    if (creating_code) *creating_code = v.creating_code;
    if (creating_thread) *creating_thread = v.creating_thread;
    if (!show_hidden &&
        std::find(std::begin(kHiddenNames), std::end(kHiddenNames), name) != std::end(kHiddenNames))
      return {};
    if (!name.empty() && name != kReporterThreadName) return name + " (" + id + ")";
    std::string result = "thread " + id;
    if (!info.empty()) result += " (" + info + ")";
    return result;
  } catch (...) {
    return {};
  }
}

std::vector<DWORD> ListProcessThreads() {
  std::vector<DWORD> ids;
  try {
    if (!ThreadsFromSystemInformation(&ids)) {
      ids.clear();
      ThreadsFromSnapshot(&ids);
    }
  } catch (...) {
  }
  return ids;
}

}  // namespace capture
