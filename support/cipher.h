// Blowfish block modes over byte buffers, the enciphered texts built on them, and the form in
// which the settings store their passwords.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace support {

// Enciphers or deciphers the whole 8-byte blocks of data in place; a trailing partial block
// stays unchanged. Modes:
// - counter mode, when either counter word is nonzero: the 8-byte counter (counter_low, then
//   counter_high, each little-endian) is incremented as one big-endian 64-bit number before
//   each block, enciphered as a standard block and exclusive-ored into the block; both
//   directions are the same operation, encrypt is ignored;
// - standard block mode (native_order clear): the halves are read and written big-endian,
//   first half left;
// - native block mode (native_order set): the left half is the block's second 32-bit word, the
//   right half its first one, both little-endian.
// An empty key is refused: the result is false and data is left as it was.
bool CipherBlocks(void* data, std::size_t length, bool encrypt, bool native_order,
                  std::uint32_t counter_low, std::uint32_t counter_high, std::string_view key);

// Native block mode, enciphering and deciphering. An empty key gives the text back unchanged.
std::string EncryptText(std::string_view text, std::string_view key);
std::string DecryptText(std::string_view text, std::string_view key);

// Counter mode, then the padding is removed: a last byte 1 removes one byte; a last byte n from
// 2 to 8 removes n bytes when the n - 1 bytes before it all equal n; otherwise nothing. An empty
// key gives the text back unchanged.
std::string DecryptWithCounter(std::string_view text, std::string_view key,
                               std::uint32_t counter_low, std::uint32_t counter_high);

// The inverse of DecryptWithCounter: pads with n bytes of value n (1 to 8) to whole blocks,
// then applies counter mode.
std::string EncryptWithCounter(std::string_view text, std::string_view key,
                               std::uint32_t counter_low, std::uint32_t counter_high);

// The counters of the two password steps (low words; the high words are zero).
inline constexpr std::uint32_t kPasswordServerCounter = 0x5E3A91C7;
inline constexpr std::uint32_t kPasswordAccountCounter = 0x2B84D06F;

// A stored password: Base64 of the plain text enciphered with EncryptWithCounter under the
// account and then under the server. Decoding undoes the steps in reverse. A step whose key
// (server or account) is empty is left out on both sides, so such passwords still round-trip.
std::string DecodeStoredPassword(std::string_view stored, std::string_view server,
                                 std::string_view account);
std::string EncodeStoredPassword(std::string_view plain, std::string_view server,
                                 std::string_view account);

}  // namespace support
