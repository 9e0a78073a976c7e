// The settings store on Win32: resources, the named per-process shared block, module and
// address lookups, and the values of placeholders.
#include <shlobj.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "framework/win_handle.h"
#include "reporter/settings/store_platform.h"
#include "support/text_rules.h"

namespace reporter::settings::platform {

namespace {

// The block shared by every copy of the reporter in the process, in a named mapping.
struct SettingsSharedBuffer {
  std::int32_t references;
  std::uint32_t mapping;  // the creator's handle of the mapping
  CRITICAL_SECTION lock;
  ModuleSettingsEntry* head;
  std::uint32_t reserved;
};
static_assert(sizeof(void*) != 4 || sizeof(SettingsSharedBuffer) == 40,
              "the shared block has the same 40-byte layout in every copy of the reporter");

constexpr char kCaption[] = "velExcept";

// This copy's view of the block and how many of the block's references it holds: when it holds
// none any more it unmaps its view, so that a later reference maps the block afresh (another
// copy may have destroyed it meanwhile).
SettingsSharedBuffer* block = nullptr;
int own_references = 0;

std::wstring ObjectName(const wchar_t* stem) {
  const std::string pid = support::HexText(GetCurrentProcessId());
  return stem + std::wstring(L"$") + std::wstring(pid.begin(), pid.end());
}

// A security descriptor that grants everyone access (no DACL).
struct OpenSecurity {
  OpenSecurity() {
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = &descriptor;
    attributes.bInheritHandle = FALSE;
  }
  SECURITY_DESCRIPTOR descriptor{};
  SECURITY_ATTRIBUTES attributes{};
};

// Holds the settings mutex of the process.
class SettingsMutex {
 public:
  SettingsMutex() {
    OpenSecurity security;
    mutex_.reset(
        CreateMutexW(&security.attributes, FALSE, ObjectName(L"velExceptSettingsMtx").c_str()));
    if (mutex_) WaitForSingleObject(mutex_.get(), INFINITE);
  }
  ~SettingsMutex() {
    if (mutex_) ReleaseMutex(mutex_.get());
  }
  SettingsMutex(const SettingsMutex&) = delete;
  SettingsMutex& operator=(const SettingsMutex&) = delete;

 private:
  framework::ScopedHandle mutex_;
};

SettingsSharedBuffer* MapBlock() {
  OpenSecurity security;
  const std::wstring name = ObjectName(L"velExceptSettingsBuf");
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, &security.attributes, PAGE_READWRITE, 0,
                                      sizeof(SettingsSharedBuffer), name.c_str());
  const bool created = mapping != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
  if (mapping == nullptr) mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
  if (mapping == nullptr) return nullptr;
  auto* view = static_cast<SettingsSharedBuffer*>(
      MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SettingsSharedBuffer)));
  if (view == nullptr) {
    CloseHandle(mapping);
    return nullptr;
  }
  if (created) {
    view->references = 0;
    view->mapping = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(mapping));
    InitializeCriticalSection(&view->lock);
    view->head = nullptr;
    view->reserved = 0;
  } else {
    CloseHandle(mapping);  // the creator's handle keeps the block alive
  }
  return view;
}

// The memory at address can be read for size bytes (committed, neither no-access nor guard).
bool Readable(const void* address, std::size_t size) {
  auto p = reinterpret_cast<std::uintptr_t>(address);
  const std::uintptr_t end = p + size;
  if (end < p) return false;
  while (p < end) {
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(reinterpret_cast<const void*>(p), &info, sizeof info) == 0) return false;
    if (info.State != MEM_COMMIT || (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0 ||
        info.Protect == 0) {
      return false;
    }
    p = reinterpret_cast<std::uintptr_t>(info.BaseAddress) + info.RegionSize;
  }
  return true;
}

bool IsImage(HMODULE module) {
  MEMORY_BASIC_INFORMATION info{};
  return module != nullptr && VirtualQuery(module, &info, sizeof info) != 0 &&
         info.Type == MEM_IMAGE && info.AllocationBase == module && Readable(module, 2) &&
         std::memcmp(module, "MZ", 2) == 0;
}

}  // namespace

std::span<const std::uint8_t> SettingsResource(HMODULE module) {
  if (!IsImage(module)) return {};
  HRSRC found = FindResourceW(module, L"TVELEXCEPT", MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (found == nullptr) return {};
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  const DWORD size = SizeofResource(module, found);
  if (data == nullptr || size == 0) return {};
  return {static_cast<const std::uint8_t*>(data), size};
}

bool AcquireSharedBlock() {
  SettingsMutex mutex;
  if (block == nullptr) block = MapBlock();
  if (block == nullptr) {
    MessageBoxA(nullptr, "internal error (opening settings buffer)", kCaption,
                MB_OK | MB_ICONERROR);
    return false;
  }
  ++block->references;
  ++own_references;
  return true;
}

void ReleaseSharedBlock() {
  SettingsMutex mutex;
  if (block == nullptr || own_references == 0) return;
  --own_references;
  if (block->references <= 1) {
    DeleteCriticalSection(&block->lock);
    const HANDLE mapping = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(block->mapping));
    block->references = 0;
    UnmapViewOfFile(block);
    CloseHandle(mapping);
    block = nullptr;
    own_references = 0;
    return;
  }
  --block->references;
  if (own_references == 0) {
    UnmapViewOfFile(block);
    block = nullptr;
  }
}

// Callers hold a block reference, so the view is there.
void LockList() { EnterCriticalSection(&block->lock); }
void UnlockList() { LeaveCriticalSection(&block->lock); }
ModuleSettingsEntry*& ListHead() { return block->head; }

void ShowMessage(std::string_view text) {
  const std::string copy(text);
  MessageBoxA(nullptr, copy.c_str(), kCaption, MB_OK | MB_ICONERROR);
}

HMODULE OwnModule() {
  static const char marker = 0;
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&marker), &module);
  return module;
}

HMODULE ExecutableModule() { return GetModuleHandleW(nullptr); }

HMODULE ModuleOfAddress(const void* address) {
  MEMORY_BASIC_INFORMATION info{};
  if (VirtualQuery(address, &info, sizeof info) == 0 || info.State != MEM_COMMIT) return nullptr;
  return static_cast<HMODULE>(info.AllocationBase);
}

HMODULE LoadedModule(const char* name) { return GetModuleHandleA(name); }

// Only images carry resources: other allocations are passed over without looking into them.
std::vector<HMODULE> AllocationBases() {
  std::vector<HMODULE> bases;
  const void* previous = nullptr;
  std::uintptr_t address = 0;
  MEMORY_BASIC_INFORMATION info{};
  while (VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof info) != 0) {
    if (info.State == MEM_COMMIT && info.BaseAddress == info.AllocationBase &&
        info.AllocationBase != previous && info.Type == MEM_IMAGE) {
      bases.push_back(static_cast<HMODULE>(info.AllocationBase));
    }
    previous = info.AllocationBase;
    const std::uintptr_t next =
        reinterpret_cast<std::uintptr_t>(info.BaseAddress) + info.RegionSize;
    if (next <= address) break;
    address = next;
  }
  return bases;
}

bool ReadPointer(const void* address, const void*& value) {
  if (!Readable(address, sizeof value)) return false;
  std::memcpy(&value, address, sizeof value);
  return true;
}

std::string ModulePath(HMODULE module) {
  char path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
  return std::string(path, n <= MAX_PATH ? n : 0);
}

std::string FileVersion(HMODULE module) {
  const std::string path = ModulePath(module);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return {};
  std::string data(size, '\0');
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
      !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
      fixed == nullptr || length < sizeof *fixed) {
    return {};
  }
  if (fixed->dwFileVersionMS == 0 && fixed->dwFileVersionLS == 0) return {};
  return support::DecText(HIWORD(fixed->dwFileVersionMS)) + "." +
         support::DecText(LOWORD(fixed->dwFileVersionMS)) + "." +
         support::DecText(HIWORD(fixed->dwFileVersionLS)) + "." +
         support::DecText(LOWORD(fixed->dwFileVersionLS));
}

std::string VersionVarText(HMODULE module, std::uint32_t offset) {
  const void* text = nullptr;
  if (!ReadPointer(reinterpret_cast<const char*>(module) + offset, text) || text == nullptr) {
    return {};
  }
  std::string out;
  for (const char* p = static_cast<const char*>(text);; ++p) {
    if (!Readable(p, 1)) return {};
    if (*p == '\0') return out;
    if (out.size() >= 0x10000) return {};
    out.push_back(*p);
  }
}

std::string ShellFolder(int csidl) {
  char path[MAX_PATH + 1] = {};
  if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, 0, path))) return {};
  return path;
}

LocalTime Now() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

}  // namespace reporter::settings::platform
