// The settings resource parser on arbitrary bytes: parsed properties must be well formed and
// freed without leaks. Inputs without the stream's header are given one, so that the fuzzer
// spends its time on the property list.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "reporter/settings/settings_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace reporter::settings;
  std::string stream(reinterpret_cast<const char*>(data), size);
  if (stream.compare(0, kSettingsStreamHeader.size(), kSettingsStreamHeader) != 0) {
    stream.insert(0, kSettingsStreamHeader);
  }
  ModuleSettingsEntry* entry = NewModuleEntry(nullptr);
  if (entry == nullptr) return 0;
  ParseSettingsStream(stream.data(), stream.size(), *entry);
  if (entry->count > entry->capacity || entry->count > stream.size()) __builtin_trap();
  for (std::uint32_t i = 0; i < entry->count; ++i) {
    const StoredProperty& p = entry->properties[i];
    if (p.name == nullptr || p.kind > 2) __builtin_trap();
  }
  DecodeStoredPasswords(*entry);
  FreeModuleEntry(entry);
  return 0;
}
