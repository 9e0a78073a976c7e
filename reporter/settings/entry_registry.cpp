#include "reporter/settings/entry_registry.h"

#include "reporter/settings/settings_stream.h"
#include "reporter/settings/store_platform.h"
#include "support/text_rules.h"

namespace reporter::settings {

void FillModuleEntry(ModuleSettingsEntry& entry, std::span<const std::uint8_t> resource) {
  const ParseResult result = ParseSettingsStream(resource.data(), resource.size(), entry);
  if (result.unknown_type) {
    support::DropErrors([&] {
      platform::ShowMessage(InvalidResourceMessage(*result.unknown_type));
      return 0;
    });
  }
  DecodeStoredPasswords(entry);
}

ModuleSettingsEntry* ReferenceModuleEntry(HMODULE module) {
  const std::span<const std::uint8_t> resource = platform::SettingsResource(module);
  if (resource.empty() || !platform::AcquireSharedBlock()) return nullptr;
  ModuleSettingsEntry* entry = WithListLock([&]() -> ModuleSettingsEntry* {
    ModuleSettingsEntry** link = &platform::ListHead();
    while (*link != nullptr && (*link)->module != module) link = &(*link)->next;
    if (*link == nullptr) {
      ModuleSettingsEntry* fresh = NewModuleEntry(module);
      if (fresh == nullptr) return nullptr;
      FillModuleEntry(*fresh, resource);
      *link = fresh;
    }
    ++(*link)->references;
    return *link;
  });
  if (entry == nullptr) platform::ReleaseSharedBlock();
  return entry;
}

void DereferenceModuleEntry(ModuleSettingsEntry* entry) {
  if (entry == nullptr) return;
  WithListLock([&] {
    if (entry->references > 1) {
      --entry->references;
      return;
    }
    for (ModuleSettingsEntry** link = &platform::ListHead(); *link != nullptr;
         link = &(*link)->next) {
      if (*link == entry) {
        *link = entry->next;
        break;
      }
    }
    FreeModuleEntry(entry);
  });
  platform::ReleaseSharedBlock();
}

void RereadModuleEntry(ModuleSettingsEntry* entry) {
  if (entry == nullptr) return;
  WithListLock([&] {
    ClearProperties(*entry);
    FillModuleEntry(*entry, platform::SettingsResource(entry->module));
  });
}

}  // namespace reporter::settings
