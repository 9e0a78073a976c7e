#include "reporter/settings/catalogue.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "reporter/settings/interfaces.h"
#include "reporter/settings/property.h"

namespace {

using namespace reporter::settings;

TEST(Catalogue, NamesAreUniqueAndTheDefaultsTableHas121Keys) {
  std::set<std::string_view> names;
  for (const CatalogueKey& key : Catalogue())
    EXPECT_TRUE(names.insert(key.name).second) << key.name;
  EXPECT_EQ(names.size(), 125u);
  EXPECT_EQ(BuiltInDefaults().size(), 121u);
  for (const char* absent : {"Assistant1", "Assistant2", "Assistant3", "MinDebugInfo"}) {
    EXPECT_EQ(FindProperty(BuiltInDefaults(), absent), nullptr) << absent;
  }
  EXPECT_EQ(ResourceSettings().size(), 120u);
  for (const char* not_stored :
       {"AutoDelay", "MailFrom", "AddFields", "VersionVar", "MinDebugInfo"}) {
    EXPECT_EQ(FindProperty(ResourceSettings(), not_stored), nullptr) << not_stored;
  }
}

TEST(Catalogue, BuiltInValuesWhereTheyDifferFromTheResource) {
  const SettingsList& defaults = BuiltInDefaults();
  EXPECT_EQ(FindProperty(defaults, "AutoDelay")->integer, 60);
  EXPECT_EQ(FindProperty(defaults, "FreezeTimeout")->integer, 60);
  EXPECT_EQ(FindProperty(defaults, "LimitDisAsm")->integer, 5);
  EXPECT_EQ(FindProperty(defaults, "ScrShotDepth")->integer, 0);
  EXPECT_TRUE(FindProperty(defaults, "NoSettings")->boolean);
  EXPECT_FALSE(FindProperty(defaults, "Enabled")->boolean);
  EXPECT_EQ(FindProperty(defaults, "PrepAttMsg")->text, "Prepare attachments...");
  EXPECT_EQ(FindProperty(defaults, "MailAddr")->text, "");
  EXPECT_EQ(FindProperty(ResourceSettings(), "PrepAttMsg")->text, "Preparing attachments...");
  EXPECT_TRUE(
      FindProperty(ResourceSettings(), "HttpServer")->text.ends_with("/debug/dncserver.asp"));
}

TEST(Catalogue, SixIntegerKeysCarryTheBooleanKindInTheDefaults) {
  const std::pair<const char*, int> keys[] = {{"FocusedBtn", 0},   {"DupExceptDef", 1},
                                              {"DupFreezeDef", 2}, {"F1ShowCfg", 0},
                                              {"F2ShowCfg", 0},    {"GnShowCfg", 0}};
  int booleans = 0;
  for (const SettingsProperty& p : BuiltInDefaults()) booleans += p.kind == PropertyKind::kBoolean;
  int boolean_keys = 0;
  for (const CatalogueKey& k : Catalogue())
    boolean_keys += k.kind == KeyKind::kBoolean && k.builtin.present;
  EXPECT_EQ(booleans, boolean_keys + 6);
  for (const auto& [name, value] : keys) {
    const SettingsProperty* p = FindProperty(BuiltInDefaults(), name);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->kind, PropertyKind::kBoolean) << name;
    EXPECT_EQ(p->integer, value) << name;
  }
}

// Every key a slot names exists with the slot's kind, and every key has its slot except the
// ones that other slots read.
struct Slot {
  const char* op;
  const char* type;
  const char* key;
};
#define COLLECT_SLOT(op, type, key) Slot{#op, #type, #key},
const std::vector<Slot> kSlots = {
    IME_SETTINGS_SLOTS_1(COLLECT_SLOT) IME_SETTINGS_SLOTS_2(COLLECT_SLOT)
        IME_SETTINGS_SLOTS_3(COLLECT_SLOT) IME_SETTINGS_SLOTS_4(COLLECT_SLOT)
            IME_MODULE_SETTINGS_SLOTS_1(COLLECT_SLOT) IME_MODULE_SETTINGS_SLOTS_2(COLLECT_SLOT)};
#undef COLLECT_SLOT

TEST(Catalogue, SlotsNameCatalogueKeysOfTheirKind) {
  std::set<std::string> covered;
  for (const Slot& slot : kSlots) {
    const CatalogueKey* key = FindCatalogueKey(slot.key);
    ASSERT_NE(key, nullptr) << slot.key;
    const char* kinds[] = {"Bool", "Int", "UInt", "Text"};
    EXPECT_STREQ(kinds[static_cast<int>(key->kind)], slot.type) << slot.key;
    covered.insert(slot.key);
  }
  std::set<std::string> uncovered;
  for (const CatalogueKey& key : Catalogue()) {
    if (!covered.count(std::string(key.name))) uncovered.insert(std::string(key.name));
  }
  EXPECT_EQ(uncovered,
            (std::set<std::string>{"AddAttachs", "AddFields", "Assistant1", "Assistant2",
                                   "Assistant3", "MinDebugInfo", "Plugins", "VersionVar"}));
}

// The settings resource source: "  Name = value" lines between "object" and "end".
std::vector<std::pair<std::string, std::string>> ReadResourceSource() {
  std::ifstream in(std::string(PELMORA_RESOURCES) + "/reporter_settings.txt");
  std::vector<std::pair<std::string, std::string>> keys;
  std::string line;
  bool inside = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("object ", 0) == 0) inside = true;
    if (!inside || line.rfind("  ", 0) != 0) continue;
    const std::size_t equals = line.find(" = ");
    if (equals == std::string::npos) continue;
    keys.emplace_back(line.substr(2, equals - 2), line.substr(equals + 3));
  }
  return keys;
}

std::string SourceForm(const SettingsProperty& p) {
  switch (p.kind) {
    case PropertyKind::kBoolean:
      return p.boolean ? "True" : "False";
    case PropertyKind::kInteger:
      return std::to_string(p.integer);
    case PropertyKind::kText:
      break;
  }
  std::string quoted = "'";
  for (char c : p.text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'";
}

TEST(ResourceSource, ListsExactlyTheStoredKeysInOrderWithTheirValues) {
  const auto source = ReadResourceSource();
  const SettingsList stored = ResourceSettings();
  ASSERT_EQ(source.size(), stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    EXPECT_EQ(source[i].first, stored[i].name) << i;
    EXPECT_EQ(source[i].second, SourceForm(stored[i])) << stored[i].name;
  }
}

TEST(ResourceSource, DeploymentValuesStayOnReservedExampleDomains) {
  for (const auto& [name, value] : ReadResourceSource()) {
    if (value.find('@') == std::string::npos && value.find("http") == std::string::npos) continue;
    const bool example = value.find("example.com") != std::string::npos ||
                         value.find("example.org") != std::string::npos ||
                         value.find("example.net") != std::string::npos;
    EXPECT_TRUE(example) << name << " = " << value;
  }
}

}  // namespace
