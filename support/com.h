// COM basics for the reporter's interfaces: IUnknown, GUID, HRESULT and the calling
// convention. On Windows they are the system's own, so that modules built with other compilers
// can call the interfaces; elsewhere minimal stand-ins of the same shape let the portable code
// and its tests build.
#pragma once

#ifdef _WIN32
#include <unknwn.h>
#include <windows.h>
#else
#include <cstdint>
#include <cstring>

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using BOOL = int;
using HMODULE = struct HINSTANCE__*;

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
using IID = GUID;
using REFIID = const IID&;

inline bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline constexpr BOOL FALSE = 0;
inline constexpr BOOL TRUE = 1;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);

#define STDMETHODCALLTYPE

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};
#endif

namespace support {

// {00000000-0000-0000-C000-000000000046}
inline constexpr GUID kIidUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Holds one reference to an interface and releases it when it goes.
template <class Interface>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller owns.
  explicit ComPtr(Interface* owned) : p_(owned) {}
  ComPtr(const ComPtr& other) : p_(other.p_) {
    if (p_ != nullptr) p_->AddRef();
  }
  ComPtr& operator=(ComPtr other) noexcept {
    Interface* old = p_;
    p_ = other.p_;
    other.p_ = old;
    return *this;
  }
  ~ComPtr() {
    if (p_ != nullptr) p_->Release();
  }
  Interface* get() const { return p_; }
  Interface* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  Interface* p_ = nullptr;
};

}  // namespace support
