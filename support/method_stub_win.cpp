#include <windows.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "support/method_stub.h"

namespace support {
namespace {

// Stubs are carved from pages of executable memory in slots of this size.
constexpr std::size_t kSlotSize = 16;
constexpr std::size_t kPageSize = 4096;

struct StubPool {
  std::mutex lock;
  std::vector<void*> pages;
  std::vector<std::uint8_t*> free_slots;
};

StubPool& Pool() {
  static StubPool* pool = new StubPool;  // stubs may be used until the very end of the process
  return *pool;
}

// pop eax / push object / push eax / jmp method
void WriteStub(std::uint8_t* slot, void* object, const void* method) {
  auto object_bits = reinterpret_cast<std::uint32_t>(object);
  auto next = reinterpret_cast<std::uint32_t>(slot + 12);
  auto relative = reinterpret_cast<std::uint32_t>(method) - next;
  std::uint8_t code[kSlotSize] = {0x58, 0x68, 0, 0, 0,    0,    0x50, 0xE9,
                                  0,    0,    0, 0, 0xCC, 0xCC, 0xCC, 0xCC};
  std::memcpy(code + 2, &object_bits, 4);
  std::memcpy(code + 8, &relative, 4);
  std::memcpy(slot, code, sizeof code);
  FlushInstructionCache(GetCurrentProcess(), slot, kSlotSize);
}

}  // namespace

void* MakeMethodStub(void* object, const void* method) {
  try {
    StubPool& pool = Pool();
    std::lock_guard<std::mutex> guard(pool.lock);
    if (pool.free_slots.empty()) {
      void* page =
          VirtualAlloc(nullptr, kPageSize, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
      if (!page) return nullptr;
      pool.pages.push_back(page);
      auto* bytes = static_cast<std::uint8_t*>(page);
      for (std::size_t offset = kPageSize; offset >= kSlotSize; offset -= kSlotSize)
        pool.free_slots.push_back(bytes + offset - kSlotSize);
    }
    std::uint8_t* slot = pool.free_slots.back();
    pool.free_slots.pop_back();
    WriteStub(slot, object, method);
    return slot;
  } catch (...) {
    return nullptr;
  }
}

void FreeMethodStub(void* stub) {
  if (!stub) return;
  try {
    StubPool& pool = Pool();
    std::lock_guard<std::mutex> guard(pool.lock);
    auto* slot = static_cast<std::uint8_t*>(stub);
    bool ours = false;
    for (void* page : pool.pages) {
      auto* start = static_cast<std::uint8_t*>(page);
      ours = ours || (slot >= start && slot < start + kPageSize && (slot - start) % kSlotSize == 0);
    }
    if (!ours) return;
    std::memset(slot, 0xCC, kSlotSize);  // a late call traps instead of running a stale stub
    pool.free_slots.push_back(slot);
  } catch (...) {
  }
}

void ReleaseMethodStubs() {
  StubPool& pool = Pool();
  std::lock_guard<std::mutex> guard(pool.lock);
  for (void* page : pool.pages) VirtualFree(page, 0, MEM_RELEASE);
  pool.pages.clear();
  pool.free_slots.clear();
}

}  // namespace support
