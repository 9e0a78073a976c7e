#include "reporter/settings/settings_stream.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/cipher.h"

namespace {

using namespace reporter::settings;

struct EntryDeleter {
  void operator()(ModuleSettingsEntry* e) const { FreeModuleEntry(e); }
};
using Entry = std::unique_ptr<ModuleSettingsEntry, EntryDeleter>;

Entry Parse(const std::string& stream, ParseResult* result = nullptr) {
  Entry entry(NewModuleEntry(nullptr));
  const ParseResult r = ParseSettingsStream(stream.data(), stream.size(), *entry);
  if (result != nullptr) *result = r;
  return entry;
}

std::string Prop(const std::string& name, int type, const std::string& value) {
  return std::string(1, static_cast<char>(name.size())) + name + static_cast<char>(type) + value;
}

std::string Stream(const std::string& properties) {
  return std::string(kSettingsStreamHeader) + properties + std::string(2, '\0');
}

TEST(SettingsStream, EveryValueTypeReadsAsItsKind) {
  const std::string wide = std::string("\x03\0\0\0", 4) + std::string("A\0\xFC\0\xAC\x20", 6);
  const std::string stream = Stream(Prop("I8", 2, "\xFB") + Prop("I16", 3, "\x6A\xFF") +
                                    Prop("I32", 4, std::string("\x60\xEA\0\0", 4)) +
                                    Prop("S", 6,
                                         "\x03"
                                         "abc") +
                                    Prop("F", 8, "") + Prop("T", 9, "") +
                                    Prop("L", 12, std::string("\x02\0\0\0", 4) + "xy") +
                                    Prop("W", 18, wide) + Prop("E", 6, std::string(1, '\0')));
  ParseResult result;
  const Entry e = Parse(stream, &result);
  EXPECT_FALSE(result.unknown_type.has_value());
  EXPECT_FALSE(result.truncated);
  ASSERT_EQ(e->count, 9u);
  EXPECT_EQ(ValueOf(*FindStoredProperty(*e, "I8")).integer, -5);
  EXPECT_EQ(ValueOf(*FindStoredProperty(*e, "I16")).integer, -150);
  EXPECT_EQ(ValueOf(*FindStoredProperty(*e, "I32")).integer, 60000);
  EXPECT_EQ(ValueOf(*FindStoredProperty(*e, "S")).text, "abc");
  EXPECT_EQ(ValueOf(*FindStoredProperty(*e, "F")).kind, PropertyKind::kBoolean);
  EXPECT_FALSE(ValueOf(*FindStoredProperty(*e, "F")).boolean);
  EXPECT_TRUE(ValueOf(*FindStoredProperty(*e, "T")).boolean);
  EXPECT_EQ(ValueOf(*FindStoredProperty(*e, "L")).text, "xy");
  // Wide texts become 8-bit texts of the code page (1252: u-umlaut 0xFC, euro sign 0x80).
  EXPECT_EQ(ValueOf(*FindStoredProperty(*e, "W")).text, "A\xFC\x80");
  EXPECT_EQ(ValueOf(*FindStoredProperty(*e, "W")).kind, PropertyKind::kText);
  EXPECT_EQ(FindStoredProperty(*e, "E")->text, nullptr);  // an empty text is no text
}

TEST(SettingsStream, WrongHeaderGivesNothingAndUnknownTypeKeepsWhatCameBefore) {
  const std::string body = Prop("A", 9, "");
  for (std::string header : {std::string("TPF0\x0ATVelExcepx\x09velExcept"),
                             std::string("TPF0\x0ATVelExcept\x09velExceps"),
                             std::string("TPF1\x0ATVelExcept\x09velExcept"), std::string("TPF0")}) {
    EXPECT_EQ(Parse(header + body + std::string(2, '\0'))->count, 0u);
  }
  ParseResult result;
  const Entry e = Parse(Stream(Prop("A", 9, "") + Prop("B", 7, "x") + Prop("C", 9, "")), &result);
  ASSERT_TRUE(result.unknown_type.has_value());
  EXPECT_EQ(*result.unknown_type, 7);
  EXPECT_EQ(e->count, 1u);
  EXPECT_EQ(InvalidResourceMessage(0x1f), "Internal error: Invalid settings resource ($1f).");
}

TEST(SettingsStream, TruncatedOrOversizedValuesStopSafely) {
  // A long text claiming 4 GB of data, a wide text claiming more units than bytes left, and a
  // name running past the end: the entries before stay, nothing is read beyond the data.
  for (const std::string& bad : {Prop("L", 12,
                                      "\xFF\xFF\xFF\xFF"
                                      "abc"),
                                 Prop("W", 18,
                                      "\xFF\xFF\xFF\x7F"
                                      "ab"),
                                 Prop("I", 4, "\x01\x02"),
                                 std::string("\x20"
                                             "short")}) {
    const std::string stream = std::string(kSettingsStreamHeader) + Prop("A", 9, "") + bad;
    ParseResult result;
    const Entry e = Parse(stream, &result);
    EXPECT_TRUE(result.truncated);
    EXPECT_EQ(e->count, 1u);
  }
}

TEST(SettingsStream, PropertyArrayGrowsBy20AndWriterRoundTrips) {
  SettingsList list;
  for (int i = 0; i < 152; ++i) {
    SettingsProperty p;
    p.name = "Key" + std::to_string(i);
    p.kind = static_cast<PropertyKind>(i % 3);
    p.integer = (i % 3 == 1) ? (i - 70) * (i * i * 7) : 0;
    p.boolean = i % 2 == 0 && i % 3 == 2;
    if (i % 3 == 0) p.text = std::string(static_cast<std::size_t>(i * 3), 'a' + i % 26);
    list.push_back(p);
  }
  const Entry e = Parse(WriteSettingsStream(list));
  ASSERT_EQ(e->count, 152u);
  EXPECT_EQ(e->capacity, 131u + 20 + 20);
  for (std::uint32_t i = 0; i < e->count; ++i) {
    const PropertyValue v = ValueOf(e->properties[i]);
    EXPECT_EQ(e->properties[i].name, list[i].name);
    EXPECT_EQ(v.kind, list[i].kind);
    EXPECT_EQ(v.integer, list[i].integer);
    EXPECT_EQ(v.boolean, list[i].boolean);
    EXPECT_EQ(v.text, list[i].text);
  }
}

TEST(SettingsStream, StoredPasswordsAreDeciphered) {
  SettingsList list = ResourceSettings();
  FindProperty(list, "SmtpPassword")->text =
      support::EncodeStoredPassword("s3cret", "smtp.example.net", "reporter@example.net");
  FindProperty(list, "SmtpServer")->text = "smtp.example.net";
  FindProperty(list, "SmtpAccount")->text = "reporter@example.net";
  const Entry e = Parse(WriteSettingsStream(list));
  DecodeStoredPasswords(*e);
  EXPECT_EQ(ValueOf(*FindStoredProperty(*e, "SmtpPassword")).text, "s3cret");
  EXPECT_EQ(FindStoredProperty(*e, "HttpPassword")->text, nullptr);
}

}  // namespace
