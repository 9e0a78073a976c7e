// The parsed settings of one module as every copy of the reporter in the process sees them.
// The records have a fixed C layout and live on the process heap, because a copy of the
// reporter in another module may free what this one allocated: no standard-library types in
// here, and every allocation goes through SettingsHeapAlloc/SettingsHeapFree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "reporter/settings/property.h"
#include "support/com.h"

namespace reporter::settings {

// One parsed key. Only the value field of its kind is meaningful.
struct StoredProperty {
  char* name;            // zero-terminated copy
  std::uint8_t kind;     // PropertyKind
  std::uint8_t boolean;  // 0 or 1
  std::int32_t integer;
  char* text;  // zero-terminated copy, null when empty
};

struct ModuleSettingsEntry {
  std::int32_t references;
  HMODULE module;
  std::uint32_t capacity;  // of properties
  std::uint32_t count;
  StoredProperty* properties;
  ModuleSettingsEntry* next;
};

// The property array starts with room for this many keys and grows by the step when full.
inline constexpr std::uint32_t kInitialPropertyCapacity = 131;
inline constexpr std::uint32_t kPropertyCapacityStep = 20;

// Zeroed memory from the process heap (malloc elsewhere); null when out of memory.
void* SettingsHeapAlloc(std::size_t size);
void SettingsHeapFree(void* block);

// A zeroed entry for module; null when out of memory.
ModuleSettingsEntry* NewModuleEntry(HMODULE module);
// Frees the properties (names and texts) and then the entry.
void FreeModuleEntry(ModuleSettingsEntry* entry);
// Frees every property and the array; the entry stays, empty.
void ClearProperties(ModuleSettingsEntry& entry);

// Appends a key of that kind with empty value; null when out of memory.
StoredProperty* AppendProperty(ModuleSettingsEntry& entry, std::string_view name,
                               PropertyKind kind);
// The first key of that name (exact comparison), or null.
StoredProperty* FindStoredProperty(const ModuleSettingsEntry& entry, std::string_view name);
// Replaces the key's text by a copy of text (no text when empty). False when out of memory; the
// old text is then kept.
bool SetStoredText(StoredProperty& property, std::string_view text);

// The value of a key, wherever it is kept.
struct PropertyValue {
  PropertyKind kind = PropertyKind::kText;
  bool boolean = false;
  std::int32_t integer = 0;
  std::string_view text;
};
PropertyValue ValueOf(const StoredProperty& property);
PropertyValue ValueOf(const SettingsProperty& property);

}  // namespace reporter::settings
