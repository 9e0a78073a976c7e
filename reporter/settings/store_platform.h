// What the settings store needs from the system: module resources, the per-process shared
// list of parsed module settings, module and address lookups, and the values of placeholders.
// Windows implements it with the real calls (store_platform_win.cpp); the host has an
// in-process stand-in whose modules are registered by tests (store_platform_host.h).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "reporter/settings/module_entry.h"

namespace reporter::settings::platform {

// The module's settings resource (RCDATA "TVELEXCEPT"), empty when it has none.
std::span<const std::uint8_t> SettingsResource(HMODULE module);

// The shared block: referenced once per settings object that holds an entry. Acquire fails
// (after telling the user) when the block can be neither created nor opened.
bool AcquireSharedBlock();
void ReleaseSharedBlock();
// The block's list of module entries and the lock that guards it (held by Acquire's caller
// only between LockList and UnlockList).
void LockList();
void UnlockList();
ModuleSettingsEntry*& ListHead();

// A message box with caption "velExcept".
void ShowMessage(std::string_view text);

// The module this copy of the reporter is built into, and the process's executable.
HMODULE OwnModule();
HMODULE ExecutableModule();
// The allocation base of the committed region holding address, or null.
HMODULE ModuleOfAddress(const void* address);
// A loaded module of that file name, or null.
HMODULE LoadedModule(const char* name);
// Every allocation base of the address space that starts a committed region, from address 0
// upwards, each once.
std::vector<HMODULE> AllocationBases();
// Reads a pointer-sized value; false when the memory is not readable.
bool ReadPointer(const void* address, const void*& value);

// The module's file name with folder ("" when unknown).
std::string ModulePath(HMODULE module);
// The module's file version "a.b.c.d", empty when it has none.
std::string FileVersion(HMODULE module);
// The text whose address is stored at module + offset; empty when any of it is unreadable.
std::string VersionVarText(HMODULE module, std::uint32_t offset);
// A shell folder without trailing separator (26: the user's application data, 35: everybody's),
// empty when the system gives none.
std::string ShellFolder(int csidl);

struct LocalTime {
  int year, month, day, hour, minute, second, milliseconds;
};
LocalTime Now();

}  // namespace reporter::settings::platform
