// The settings resource: a binary object stream of one object, "velExcept" of class
// "TVelExcept", whose properties are the setting keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "reporter/settings/module_entry.h"

namespace reporter::settings {

// The bytes every settings stream begins with.
inline constexpr std::string_view kSettingsStreamHeader = "TPF0\x0ATVelExcept\x09velExcept";

// The value-type bytes of the stream.
enum class StreamType : std::uint8_t {
  kInt8 = 2,
  kInt16 = 3,
  kInt32 = 4,
  kShortText = 6,
  kFalse = 8,
  kTrue = 9,
  kLongText = 12,
  kWideText = 18,
};

struct ParseResult {
  // The value-type byte that stopped the parse because it is not one of StreamType.
  std::optional<std::uint8_t> unknown_type;
  // The stream ended inside a property, or memory ran out.
  bool truncated = false;
};

// Appends the properties of the stream to entry in stream order. A stream with another header
// adds nothing. Parsing stops at the end marker (a name of length 0), at an unknown type, or
// where the data ends; the properties before that point stay. Wide texts are converted to the
// 8-bit code page.
ParseResult ParseSettingsStream(const void* data, std::size_t size, ModuleSettingsEntry& entry);

// The text shown for an unknown type byte: "Internal error: Invalid settings resource ($12)."
std::string InvalidResourceMessage(std::uint8_t type);

// Replaces the enciphered SmtpPassword and HttpPassword of a freshly parsed entry by their
// clear form (keyed by the server and account keys of the entry).
void DecodeStoredPasswords(ModuleSettingsEntry& entry);

// Builds a stream from properties: the writing side of ParseSettingsStream. Integers take the
// smallest of the three integer types that holds them; texts of 255 bytes or fewer are short
// texts. Wide texts are never written.
std::string WriteSettingsStream(const SettingsList& properties);

}  // namespace reporter::settings
