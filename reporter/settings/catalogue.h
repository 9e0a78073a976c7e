// The catalogue of the reporter's setting keys: every key with its kind, the value this
// program's settings resource stores and the value of the built-in defaults table.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace reporter::settings {

// The kinds of the catalogue. Unsigned keys are read and written as the integer kind.
enum class KeyKind : std::uint8_t { kBoolean, kInteger, kUnsigned, kText };

// A value of a key; present is false where a column has no value ("not stored" in the
// resource, or missing from the built-in table). Booleans use number 0 or 1.
struct KeyValue {
  bool present = false;
  std::int32_t number = 0;
  std::string_view text;
};

struct CatalogueKey {
  std::string_view name;
  KeyKind kind;
  KeyValue resource;  // the value in this program's settings resource
  KeyValue builtin;   // the value in the built-in defaults table
};

// Every key, in the order in which the settings resource stores them; keys that are not
// stored stand where the interfaces read them.
std::span<const CatalogueKey> Catalogue();

// The key of that name (exact comparison), or nullptr.
const CatalogueKey* FindCatalogueKey(std::string_view name);

}  // namespace reporter::settings
