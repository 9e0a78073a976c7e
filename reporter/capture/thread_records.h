// Thread records: for the whole process, which thread has which name, which thread and which
// code created it, and a handle to it. Every module of the process that carries the reporter
// shares one list through a named block of shared memory ("velExceptThreadNameBuf$<pid>"), so
// the records are plain C layouts on the process heap that any module may read and free.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace capture {

// One thread's record, 28 bytes. Records of 12 bytes (up to next) and of 24 bytes (without
// the handle) written by older modules are read too; the heap's size of a block tells which.
struct ThreadRecord {
  DWORD thread_id;
  char* name;  // zero-terminated, on the process heap, or null
  ThreadRecord* next;
  char* creation_info;  // class name of the owning thread object, on the process heap, or null
  const void* creating_code;
  DWORD creating_thread;
  HANDLE handle;  // synchronise and query-information access
};
static_assert(sizeof(ThreadRecord) == 28);

// The shared block, 20 bytes.
struct ThreadRecordBlock {
  HANDLE watchdog_mutex;
  HANDLE list_mutex;  // guards the record list, across modules
  ThreadRecord* first;
  LONG users;  // modules that have the block open
  HANDLE mapping;
};
static_assert(sizeof(ThreadRecordBlock) == 20);

// Names with a meaning.
inline constexpr std::string_view kMainThreadName = "main thread";
inline constexpr std::string_view kReporterThreadName = "-";

// Opens the block at start-up (creating it, its mutexes and the main thread's record when this
// is the first module). When the block can neither be created nor mapped a message box says so
// and the process ends with exit code 0.
void OpenThreadRecords();

// Releases the block at shutdown; the last module removes the current thread's record and
// closes the block and its mutexes.
void CloseThreadRecords();

// The block as this module sees it, or null when it is not open.
ThreadRecordBlock* ThreadRecords();

// The process's main thread, as found when the block was opened.
DWORD MainThreadId();

// Writes the record of thread_id. Values left empty (name, creation info, creating code,
// creating thread) are kept from the thread's earlier record. The thread's handle is taken
// from the earlier record, duplicated from thread, or opened by id; without one no record is
// written and false is given. An empty name with no creating code removes the record. Each
// call also removes the record of one ended thread.
bool SetThreadRecord(DWORD thread_id, HANDLE thread, std::string_view name, DWORD creating_thread,
                     const void* creating_code, std::string_view creation_info);

// Sets the thread's name; with a debugger attached also raises the thread-naming exception,
// so that the debugger shows the name.
void AssignThreadName(DWORD thread_id, std::string_view name);

// The name to show for a thread: "Name ($id)", or "thread $id" with " (CreationInfo)" when the
// record has one. Threads named "-", "AntiFreezeThread" or "HandleExceptionThread" give ""
// unless show_hidden. Without the block, or when its list is busy for 50 ms: "thread $id".
std::string GetThreadDisplayName(DWORD thread_id, bool show_hidden,
                                 const void** creating_code = nullptr,
                                 DWORD* creating_thread = nullptr);

// The ids of the process's threads, in the order the system lists them.
std::vector<DWORD> ListProcessThreads();

}  // namespace capture
