// Block compression through zlib: raw deflate streams without header or trailer.
#pragma once

#include <cstddef>

namespace reporter::archive {

// Compresses source into destination in one call: raw deflate at level 2, a 32 KB window and
// memory level 8. Gives the compressed length, or 0 when compression failed (for example when
// destination is too small). Never raises.
std::size_t DeflateBuffer(const void* source, void* destination, std::size_t source_length,
                          std::size_t destination_capacity);

// Inflates one raw deflate stream. Gives expected_length when the whole input was consumed, the
// stream ended and exactly expected_length bytes came out; otherwise 0. destination must hold
// expected_length bytes. Never raises.
std::size_t UncompressBlock(const void* source, void* destination, std::size_t source_length,
                            std::size_t expected_length);

}  // namespace reporter::archive
