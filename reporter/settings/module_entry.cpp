#include "reporter/settings/module_entry.h"

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace reporter::settings {

namespace {

char* CopyText(std::string_view text) {
  auto* copy = static_cast<char*>(SettingsHeapAlloc(text.size() + 1));
  if (copy != nullptr && !text.empty()) std::memcpy(copy, text.data(), text.size());
  return copy;
}

}  // namespace

void* SettingsHeapAlloc(std::size_t size) {
#ifdef _WIN32
  return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size == 0 ? 1 : size);
#else
  return std::calloc(1, size == 0 ? 1 : size);
#endif
}

void SettingsHeapFree(void* block) {
  if (block == nullptr) return;
#ifdef _WIN32
  HeapFree(GetProcessHeap(), 0, block);
#else
  std::free(block);
#endif
}

ModuleSettingsEntry* NewModuleEntry(HMODULE module) {
  auto* entry = static_cast<ModuleSettingsEntry*>(SettingsHeapAlloc(sizeof(ModuleSettingsEntry)));
  if (entry != nullptr) entry->module = module;
  return entry;
}

void ClearProperties(ModuleSettingsEntry& entry) {
  for (std::uint32_t i = 0; i < entry.count; ++i) {
    SettingsHeapFree(entry.properties[i].name);
    SettingsHeapFree(entry.properties[i].text);
  }
  SettingsHeapFree(entry.properties);
  entry.properties = nullptr;
  entry.capacity = 0;
  entry.count = 0;
}

void FreeModuleEntry(ModuleSettingsEntry* entry) {
  if (entry == nullptr) return;
  ClearProperties(*entry);
  SettingsHeapFree(entry);
}

StoredProperty* AppendProperty(ModuleSettingsEntry& entry, std::string_view name,
                               PropertyKind kind) {
  if (entry.count == entry.capacity) {
    const std::uint32_t capacity =
        entry.capacity == 0 ? kInitialPropertyCapacity : entry.capacity + kPropertyCapacityStep;
    auto* grown =
        static_cast<StoredProperty*>(SettingsHeapAlloc(sizeof(StoredProperty) * capacity));
    if (grown == nullptr) return nullptr;
    if (entry.count != 0)
      std::memcpy(grown, entry.properties, sizeof(StoredProperty) * entry.count);
    SettingsHeapFree(entry.properties);
    entry.properties = grown;
    entry.capacity = capacity;
  }
  char* copy = CopyText(name);
  if (copy == nullptr) return nullptr;
  StoredProperty& added = entry.properties[entry.count++];
  added = StoredProperty{copy, static_cast<std::uint8_t>(kind), 0, 0, nullptr};
  return &added;
}

StoredProperty* FindStoredProperty(const ModuleSettingsEntry& entry, std::string_view name) {
  for (std::uint32_t i = 0; i < entry.count; ++i) {
    if (name == entry.properties[i].name) return &entry.properties[i];
  }
  return nullptr;
}

bool SetStoredText(StoredProperty& property, std::string_view text) {
  char* copy = nullptr;
  if (!text.empty()) {
    copy = CopyText(text);
    if (copy == nullptr) return false;
  }
  SettingsHeapFree(property.text);
  property.text = copy;
  return true;
}

PropertyValue ValueOf(const StoredProperty& property) {
  return {static_cast<PropertyKind>(property.kind), property.boolean != 0, property.integer,
          property.text != nullptr ? std::string_view(property.text) : std::string_view()};
}

PropertyValue ValueOf(const SettingsProperty& property) {
  return {property.kind, property.boolean, property.integer, property.text};
}

}  // namespace reporter::settings
