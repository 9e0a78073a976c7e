#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "reporter/settings/settings_stream.h"
#include "support/cipher.h"
#include "tools/settings_compiler/settings_text.h"

namespace {

using namespace reporter::settings;
using settings_compiler::CompileSettings;
using settings_compiler::ParseSettingsText;

struct EntryDeleter {
  void operator()(ModuleSettingsEntry* e) const { FreeModuleEntry(e); }
};
using Entry = std::unique_ptr<ModuleSettingsEntry, EntryDeleter>;

Entry Load(const std::string& stream) {
  Entry entry(NewModuleEntry(nullptr));
  const ParseResult result = ParseSettingsStream(stream.data(), stream.size(), *entry);
  EXPECT_FALSE(result.unknown_type.has_value() || result.truncated);
  DecodeStoredPasswords(*entry);
  return entry;
}

TEST(SettingsCompiler, ProgramResourceHoldsTheCatalogueValuesInOrder) {
  std::ifstream in(std::string(PELMORA_RESOURCES) + "/reporter_settings.txt", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  const auto keys = ParseSettingsText(text, error);
  ASSERT_TRUE(keys) << error;
  const std::string stream = CompileSettings(*keys);
  EXPECT_EQ(stream.compare(0, kSettingsStreamHeader.size(), kSettingsStreamHeader), 0);
  const Entry e = Load(stream);
  const SettingsList expected = ResourceSettings();
  ASSERT_EQ(e->count, expected.size());
  for (std::uint32_t i = 0; i < e->count; ++i) {
    const PropertyValue v = ValueOf(e->properties[i]);
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(e->properties[i].name, expected[i].name);
    EXPECT_EQ(v.kind, expected[i].kind);
    EXPECT_EQ(v.boolean, expected[i].boolean);
    EXPECT_EQ(v.integer, expected[i].integer);
    EXPECT_EQ(v.text, expected[i].text);
  }
}

TEST(SettingsCompiler, ValuesQuotesAndEncipheredPasswords) {
  const std::string text =
      "# comment\nobject velExcept: TVelExcept\r\n"
      "  Big = 4294967295\n  Neg = -40000\n  Quote = 'it''s'\n  Long = '" +
      std::string(300, 'x') +
      "'\n  SmtpServer = 'mail.example.net'\n  SmtpAccount = 'me'\n"
      "  SmtpPassword = 'pa''ss'\n  HttpPassword = 'no keys'\nend\n";
  std::string error;
  const auto keys = ParseSettingsText(text, error);
  ASSERT_TRUE(keys) << error;
  const std::string stream = CompileSettings(*keys);
  // The clear password appears nowhere in the resource.
  EXPECT_EQ(stream.find("pa'ss"), std::string::npos);
  EXPECT_EQ(stream.find("no keys"), std::string::npos);
  const Entry e = Load(stream);
  EXPECT_EQ(ValueOf(*FindStoredProperty(*e, "Big")).integer, -1);
  EXPECT_EQ(ValueOf(*FindStoredProperty(*e, "Neg")).integer, -40000);
  EXPECT_EQ(ValueOf(*FindStoredProperty(*e, "Quote")).text, "it's");
  EXPECT_EQ(ValueOf(*FindStoredProperty(*e, "Long")).text, std::string(300, 'x'));
  EXPECT_EQ(ValueOf(*FindStoredProperty(*e, "SmtpPassword")).text, "pa'ss");
  EXPECT_EQ(ValueOf(*FindStoredProperty(*e, "HttpPassword")).text, "no keys");
}

TEST(SettingsCompiler, RejectsMalformedSources) {
  const char* bad[] = {
      "object other: TOther\nend\n",
      "object velExcept: TVelExcept\n  A = True\n",
      "object velExcept: TVelExcept\n  A = Maybe\nend\n",
      "object velExcept: TVelExcept\n  A = 'open\nend\n",
      "object velExcept: TVelExcept\n  A = 'a'b'\nend\n",
      "object velExcept: TVelExcept\n  A = 99999999999\nend\n",
      "object velExcept: TVelExcept\n  A = 1\n  A = 2\nend\n",
      "object velExcept: TVelExcept\n  no value\nend\n",
      "object velExcept: TVelExcept\nend\n  A = 1\n",
  };
  for (const char* text : bad) {
    std::string error;
    EXPECT_FALSE(ParseSettingsText(text, error)) << text;
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
