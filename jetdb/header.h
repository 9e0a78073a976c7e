// The database header on page 0: format identification and database-wide settings.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace jetdb {

// The version byte at offset 0x14 of page 0.
enum class FormatVersion : std::uint8_t { kJet3 = 0, kJet4 = 1 };

struct Header {
  FormatVersion version = FormatVersion::kJet4;
  std::uint16_t code_page = 0;     // default code page of the database (1252 = Western)
  std::uint32_t database_key = 0;  // non-zero when the pages are encrypted
  std::uint32_t sort_order = 0;    // default text collation (0x409 = General)
  double creation_date = 0;        // OLE automation date
  bool Encrypted() const { return database_key != 0; }
};

// Where the masked region of the Jet 4 header starts, how long it is, and its RC4 key.
constexpr std::size_t kMaskedHeaderOffset = 0x18;
constexpr std::size_t kMaskedHeaderSize = 126;
constexpr std::uint32_t kHeaderMaskKey = 0x6b39dac7;

// RC4 applied in place (the same call masks and unmasks).
void Rc4(std::span<const std::uint8_t> key, std::span<std::uint8_t> data);

// Page 0 with its masked region unmasked.
std::vector<std::uint8_t> UnmaskHeaderPage(std::span<const std::uint8_t> page0);

// Parses page 0 of the file at path (path is only used in messages). Anything that is not an
// unencrypted Jet 4 database gives Error("Unrecognized database format '<path>'.") or, for an
// encrypted Jet 4 database, an Error saying it is encrypted.
Header ParseHeader(std::span<const std::uint8_t> page0, const std::string& path);

}  // namespace jetdb
