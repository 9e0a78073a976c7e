// Owning wrappers for Win32 handles: each closes its handle exactly once.
#pragma once

#include <windows.h>

#include <utility>

namespace framework {

template <typename H, typename Traits>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(H h) : h_(h) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, Traits::Invalid())) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(std::exchange(o.h_, Traits::Invalid()));
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  H get() const { return h_; }
  bool valid() const { return h_ != Traits::Invalid(); }
  explicit operator bool() const { return valid(); }
  H release() { return std::exchange(h_, Traits::Invalid()); }
  void reset(H h = Traits::Invalid()) {
    if (valid()) Traits::Close(h_);
    h_ = h;
  }

 private:
  H h_ = Traits::Invalid();
};

struct KernelHandleTraits {  // threads, events, mutexes, mappings: null when absent
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct GdiObjectTraits {  // bitmaps, fonts, brushes
  static HGDIOBJ Invalid() { return nullptr; }
  static void Close(HGDIOBJ h) { DeleteObject(h); }
};
struct MemoryDcTraits {
  static HDC Invalid() { return nullptr; }
  static void Close(HDC h) { DeleteDC(h); }
};

using ScopedHandle = UniqueHandle<HANDLE, KernelHandleTraits>;
using ScopedGdiObject = UniqueHandle<HGDIOBJ, GdiObjectTraits>;
using ScopedMemoryDc = UniqueHandle<HDC, MemoryDcTraits>;

// Selects an object into a device context for the lifetime of the guard.
class SelectGuard {
 public:
  SelectGuard(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~SelectGuard() { SelectObject(dc_, old_); }
  SelectGuard(const SelectGuard&) = delete;
  SelectGuard& operator=(const SelectGuard&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace framework
