// The host's stand-in for the system, driven by tests.
#include "reporter/settings/store_platform_host.h"

#include <map>
#include <mutex>
#include <utility>

namespace reporter::settings {

namespace {

struct FakeProcess {
  std::vector<host::FakeModule> modules;
  HMODULE own = nullptr;
  std::vector<std::string> messages;
  std::map<std::pair<HMODULE, std::uint32_t>, std::string> version_vars;
  std::map<int, std::string> folders;
  platform::LocalTime now{2024, 1, 2, 3, 4, 5, 6};
  int block_references = 0;
  ModuleSettingsEntry* head = nullptr;
};

FakeProcess& Process() {
  static FakeProcess process;
  return process;
}

std::recursive_mutex& ListMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

const host::FakeModule* Find(HMODULE handle) {
  for (const host::FakeModule& m : Process().modules) {
    if (m.handle == handle) return &m;
  }
  return nullptr;
}

}  // namespace

namespace host {

void SetModules(std::vector<FakeModule> modules, HMODULE own) {
  Process().modules = std::move(modules);
  Process().own = own;
}
std::vector<std::string> TakeMessages() { return std::exchange(Process().messages, {}); }
int SharedBlockReferences() { return Process().block_references; }
void SetVersionVar(HMODULE module, std::uint32_t offset, std::string text) {
  Process().version_vars[{module, offset}] = std::move(text);
}
void SetNow(platform::LocalTime now) { Process().now = now; }
void SetShellFolder(int csidl, std::string path) { Process().folders[csidl] = std::move(path); }

}  // namespace host

namespace platform {

std::span<const std::uint8_t> SettingsResource(HMODULE module) {
  const host::FakeModule* m = Find(module);
  return m != nullptr ? std::span<const std::uint8_t>(m->resource)
                      : std::span<const std::uint8_t>();
}

bool AcquireSharedBlock() {
  ++Process().block_references;
  return true;
}
void ReleaseSharedBlock() { --Process().block_references; }
void LockList() { ListMutex().lock(); }
void UnlockList() { ListMutex().unlock(); }
ModuleSettingsEntry*& ListHead() { return Process().head; }

void ShowMessage(std::string_view text) { Process().messages.emplace_back(text); }

HMODULE OwnModule() { return Process().own; }
HMODULE ExecutableModule() {
  return Process().modules.empty() ? nullptr : Process().modules.front().handle;
}

// Fake modules are 64 KB apart: an address belongs to the module at or below it within that.
HMODULE ModuleOfAddress(const void* address) {
  const auto a = reinterpret_cast<std::uintptr_t>(address);
  for (const host::FakeModule& m : Process().modules) {
    const auto base = reinterpret_cast<std::uintptr_t>(m.handle);
    if (a >= base && a - base < 0x10000) return m.handle;
  }
  return nullptr;
}

HMODULE LoadedModule(const char* name) {
  for (const host::FakeModule& m : Process().modules) {
    const std::size_t slash = m.path.find_last_of('\\');
    if (m.path.substr(slash == std::string::npos ? 0 : slash + 1) == name) return m.handle;
  }
  return nullptr;
}

std::vector<HMODULE> AllocationBases() {
  std::map<std::uintptr_t, HMODULE> sorted;
  for (const host::FakeModule& m : Process().modules) {
    sorted[reinterpret_cast<std::uintptr_t>(m.handle)] = m.handle;
  }
  std::vector<HMODULE> bases;
  for (const auto& [address, handle] : sorted) bases.push_back(handle);
  return bases;
}

bool ReadPointer(const void* address, const void*& value) {
  if (address == nullptr) return false;
  value = *static_cast<const void* const*>(address);
  return true;
}

std::string ModulePath(HMODULE module) {
  const host::FakeModule* m = Find(module);
  return m != nullptr ? m->path : std::string();
}

std::string FileVersion(HMODULE module) {
  const host::FakeModule* m = Find(module);
  return m != nullptr ? m->version : std::string();
}

std::string VersionVarText(HMODULE module, std::uint32_t offset) {
  const auto it = Process().version_vars.find({module, offset});
  return it != Process().version_vars.end() ? it->second : std::string();
}

std::string ShellFolder(int csidl) {
  const auto it = Process().folders.find(csidl);
  return it != Process().folders.end() ? it->second : std::string();
}

LocalTime Now() { return Process().now; }

}  // namespace platform

}  // namespace reporter::settings
