#include "reporter/settings/property.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "reporter/settings/catalogue.h"

namespace reporter::settings {

namespace {

// Keys whose built-in entry has the boolean kind although they hold integers.
constexpr std::string_view kBooleanKindIntegers[] = {"FocusedBtn", "DupExceptDef", "DupFreezeDef",
                                                     "F1ShowCfg",  "F2ShowCfg",    "GnShowCfg"};

SettingsProperty MakeProperty(const CatalogueKey& key, const KeyValue& value) {
  SettingsProperty property;
  property.name = std::string(key.name);
  switch (key.kind) {
    case KeyKind::kBoolean:
      property.kind = PropertyKind::kBoolean;
      property.boolean = value.number != 0;
      break;
    case KeyKind::kInteger:
    case KeyKind::kUnsigned:
      property.kind = PropertyKind::kInteger;
      property.integer = value.number;
      break;
    case KeyKind::kText:
      property.kind = PropertyKind::kText;
      property.text = std::string(value.text);
      break;
  }
  return property;
}

SettingsList MakeDefaults() {
  SettingsList list;
  for (const CatalogueKey& key : Catalogue()) {
    if (!key.builtin.present) continue;
    list.push_back(MakeProperty(key, key.builtin));
    if (std::find(std::begin(kBooleanKindIntegers), std::end(kBooleanKindIntegers), key.name) !=
        std::end(kBooleanKindIntegers)) {
      list.back().kind = PropertyKind::kBoolean;
    }
  }
  return list;
}

}  // namespace

const SettingsProperty* FindProperty(const SettingsList& list, std::string_view name) {
  for (const SettingsProperty& property : list) {
    if (property.name == name) return &property;
  }
  return nullptr;
}

SettingsProperty* FindProperty(SettingsList& list, std::string_view name) {
  return const_cast<SettingsProperty*>(FindProperty(std::as_const(list), name));
}

const SettingsList& BuiltInDefaults() {
  static const SettingsList defaults = MakeDefaults();
  return defaults;
}

SettingsList ResourceSettings() {
  SettingsList list;
  for (const CatalogueKey& key : Catalogue()) {
    if (key.resource.present) list.push_back(MakeProperty(key, key.resource));
  }
  return list;
}

}  // namespace reporter::settings
