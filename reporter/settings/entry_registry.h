// The process-wide list of parsed module settings: one entry per module, shared by every
// settings object of that module in every copy of the reporter in the process.
#pragma once

#include <cstdint>
#include <span>

#include "reporter/settings/module_entry.h"

namespace reporter::settings {

// The module's entry with one more reference: parsed from its resource on first use. Null
// when the module has no settings resource or the shared block is out of reach.
ModuleSettingsEntry* ReferenceModuleEntry(HMODULE module);
// Drops a reference taken by ReferenceModuleEntry; the last one frees the entry.
void DereferenceModuleEntry(ModuleSettingsEntry* entry);
// Frees the entry's properties and parses its module's resource again.
void RereadModuleEntry(ModuleSettingsEntry* entry);

// Fills an empty entry from resource bytes: parses them (an unknown value type is reported to
// the user; the keys before it stay) and deciphers the stored passwords.
void FillModuleEntry(ModuleSettingsEntry& entry, std::span<const std::uint8_t> resource);

// Runs fn with the list lock held.
template <class Fn>
auto WithListLock(Fn&& fn);

}  // namespace reporter::settings

#include "reporter/settings/store_platform.h"

template <class Fn>
auto reporter::settings::WithListLock(Fn&& fn) {
  struct Guard {
    Guard() { platform::LockList(); }
    ~Guard() { platform::UnlockList(); }
  } guard;
  return fn();
}
