#include "reporter/archive/compression.h"

#include <zlib.h>

#include <limits>

namespace reporter::archive {

namespace {

constexpr int kLevel = 2;
constexpr int kRawWindowBits = -15;
constexpr int kMemoryLevel = 8;

// zlib counts in uInt; larger buffers are not ours to handle.
bool FitsZlib(std::size_t n) { return n <= std::numeric_limits<uInt>::max(); }

}  // namespace

std::size_t DeflateBuffer(const void* source, void* destination, std::size_t source_length,
                          std::size_t destination_capacity) {
  if (!FitsZlib(source_length) || destination == nullptr || destination_capacity == 0) return 0;
  if (source == nullptr && source_length != 0) return 0;
  if (!FitsZlib(destination_capacity)) destination_capacity = std::numeric_limits<uInt>::max();
  z_stream stream{};
  if (deflateInit2(&stream, kLevel, Z_DEFLATED, kRawWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    return 0;
  }
  stream.next_in = static_cast<Bytef*>(const_cast<void*>(source));
  stream.avail_in = static_cast<uInt>(source_length);
  stream.next_out = static_cast<Bytef*>(destination);
  stream.avail_out = static_cast<uInt>(destination_capacity);
  const int result = deflate(&stream, Z_FINISH);
  const std::size_t length = stream.total_out;
  deflateEnd(&stream);
  return result == Z_STREAM_END ? length : 0;
}

std::size_t UncompressBlock(const void* source, void* destination, std::size_t source_length,
                            std::size_t expected_length) {
  if (!FitsZlib(source_length) || !FitsZlib(expected_length) || source == nullptr) return 0;
  if (destination == nullptr && expected_length != 0) return 0;
  z_stream stream{};
  if (inflateInit2(&stream, kRawWindowBits) != Z_OK) return 0;
  Bytef spare = 0;  // lets inflate notice output beyond the expected length
  stream.next_in = static_cast<Bytef*>(const_cast<void*>(source));
  stream.avail_in = static_cast<uInt>(source_length);
  stream.next_out = expected_length != 0 ? static_cast<Bytef*>(destination) : &spare;
  stream.avail_out = static_cast<uInt>(expected_length);
  const int result = inflate(&stream, Z_FINISH);
  const bool whole =
      result == Z_STREAM_END && stream.avail_in == 0 && stream.total_out == expected_length;
  inflateEnd(&stream);
  return whole ? expected_length : 0;
}

}  // namespace reporter::archive
