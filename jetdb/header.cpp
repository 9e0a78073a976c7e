#include "jetdb/header.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "jetdb/bytes.h"
#include "jetdb/error.h"

namespace jetdb {

namespace {

constexpr std::size_t kJet4PageSize = 4096;
constexpr std::uint8_t kSignature[4] = {0x00, 0x01, 0x00, 0x00};
constexpr char kJetFormatId[] = "Standard Jet DB";  // followed by a zero byte
constexpr std::size_t kFormatIdOffset = 4;
constexpr std::size_t kVersionOffset = 0x14;
constexpr std::size_t kCodePageOffset = 0x3C;
constexpr std::size_t kDatabaseKeyOffset = 0x3E;
constexpr std::size_t kSortOrderOffset = 0x6E;
constexpr std::size_t kCreationDateOffset = 0x72;

[[noreturn]] void Unrecognized(const std::string& path) {
  throw Error("Unrecognized database format '" + path + "'.");
}

}  // namespace

void Rc4(std::span<const std::uint8_t> key, std::span<std::uint8_t> data) {
  if (key.empty()) return;
  std::array<std::uint8_t, 256> state;
  for (std::size_t i = 0; i < state.size(); ++i) state[i] = static_cast<std::uint8_t>(i);
  std::uint8_t j = 0;
  for (std::size_t i = 0; i < state.size(); ++i) {
    j = static_cast<std::uint8_t>(j + state[i] + key[i % key.size()]);
    std::swap(state[i], state[j]);
  }
  std::uint8_t a = 0;
  std::uint8_t b = 0;
  for (std::uint8_t& byte : data) {
    a = static_cast<std::uint8_t>(a + 1);
    b = static_cast<std::uint8_t>(b + state[a]);
    std::swap(state[a], state[b]);
    byte ^= state[static_cast<std::uint8_t>(state[a] + state[b])];
  }
}

std::vector<std::uint8_t> UnmaskHeaderPage(std::span<const std::uint8_t> page0) {
  std::vector<std::uint8_t> page(page0.begin(), page0.end());
  if (page.size() >= kMaskedHeaderOffset + kMaskedHeaderSize) {
    const std::uint8_t key[4] = {static_cast<std::uint8_t>(kHeaderMaskKey),
                                 static_cast<std::uint8_t>(kHeaderMaskKey >> 8),
                                 static_cast<std::uint8_t>(kHeaderMaskKey >> 16),
                                 static_cast<std::uint8_t>(kHeaderMaskKey >> 24)};
    Rc4(key, std::span(page).subspan(kMaskedHeaderOffset, kMaskedHeaderSize));
  }
  return page;
}

Header ParseHeader(std::span<const std::uint8_t> page0, const std::string& path) {
  if (page0.size() < kJet4PageSize) Unrecognized(path);
  if (!std::equal(std::begin(kSignature), std::end(kSignature), page0.begin())) {
    Unrecognized(path);
  }
  if (std::memcmp(page0.data() + kFormatIdOffset, kJetFormatId, sizeof kJetFormatId) != 0) {
    Unrecognized(path);
  }
  if (page0[kVersionOffset] != static_cast<std::uint8_t>(FormatVersion::kJet4)) {
    Unrecognized(path);
  }
  std::vector<std::uint8_t> page = UnmaskHeaderPage(page0);
  Header header;
  header.version = FormatVersion::kJet4;
  header.code_page = ReadU16(page, kCodePageOffset);
  header.database_key = ReadU32(page, kDatabaseKeyOffset);
  header.sort_order = ReadU32(page, kSortOrderOffset);
  header.creation_date = std::bit_cast<double>(ReadU64(page, kCreationDateOffset));
  if (header.Encrypted()) {
    throw Error("The database '" + path + "' is encrypted; encrypted databases are not supported.");
  }
  return header;
}

}  // namespace jetdb
