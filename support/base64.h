// Base64 with the standard alphabet and "=" padding.
#pragma once

#include <string>
#include <string_view>

namespace support {

std::string Base64Encode(std::string_view bytes);

// Needs a positive length that is a multiple of 4, otherwise the result is empty. Decoding
// stops at the first byte outside the alphabet (normally the "="): met at the third or fourth
// position of a group, the one or two bytes that group has given so far are kept.
std::string Base64Decode(std::string_view text);

}  // namespace support
