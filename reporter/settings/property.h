// Parsed setting keys: the entries of a module's settings and of the built-in defaults table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace reporter::settings {

// The kind byte of a property. Only the value field of its kind is meaningful, except in the
// built-in table (see BuiltInDefaults).
enum class PropertyKind : std::uint8_t { kText = 0, kInteger = 1, kBoolean = 2 };

struct SettingsProperty {
  std::string name;
  PropertyKind kind = PropertyKind::kText;
  bool boolean = false;
  std::int32_t integer = 0;
  std::string text;  // empty: no text
};

using SettingsList = std::vector<SettingsProperty>;

// The first property of that name (exact comparison, letter case included), or nullptr.
const SettingsProperty* FindProperty(const SettingsList& list, std::string_view name);
SettingsProperty* FindProperty(SettingsList& list, std::string_view name);

// The built-in defaults table: the 121 keys of the catalogue that have a built-in value, in
// catalogue order. FocusedBtn, DupExceptDef, DupFreezeDef, F1ShowCfg, F2ShowCfg and GnShowCfg
// carry the boolean kind with their integer value filled in; integer readers take the integer
// field whatever the kind, so they read 0, 1, 2, 0, 0 and 0.
const SettingsList& BuiltInDefaults();

// The properties this program's settings resource holds: the stored keys of the catalogue
// with their resource values, in resource order.
SettingsList ResourceSettings();

}  // namespace reporter::settings
