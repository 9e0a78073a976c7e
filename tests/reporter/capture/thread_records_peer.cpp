// A second module with its own copy of the thread-record code, as a DLL built with the
// reporter would have. It reaches the records only through the shared block.
#include <windows.h>

#include <cstring>
#include <string>

#include "reporter/capture/thread_records.h"

extern "C" {

__declspec(dllexport) void PeerOpen() { capture::OpenThreadRecords(); }
__declspec(dllexport) void PeerClose() { capture::CloseThreadRecords(); }
__declspec(dllexport) DWORD PeerMainThread() { return capture::MainThreadId(); }
__declspec(dllexport) void* PeerBlock() { return capture::ThreadRecords(); }
__declspec(dllexport) void PeerName(DWORD thread_id, const char* name) {
  capture::AssignThreadName(thread_id, name);
}
__declspec(dllexport) void PeerDisplayName(DWORD thread_id, char* out, int size) {
  std::string name = capture::GetThreadDisplayName(thread_id, false);
  lstrcpynA(out, name.c_str(), size);
}
}
