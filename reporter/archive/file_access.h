// The few file operations the zip writer needs, behind one small interface per platform.
// Paths are 8-bit texts in the process's code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace reporter::archive {

// A file read completely, with what the archive records about it.
struct InputFile {
  std::vector<std::uint8_t> content;
  std::uint16_t dos_time = 0;  // last write, local time
  std::uint16_t dos_date = 0;
  std::uint32_t attributes = 0;  // the system's attribute bits
};

// Opens the file for reading (others may read and write it meanwhile) and reads all of it.
// False when it cannot be opened, is larger than max_size, or not every byte arrives.
bool ReadInputFile(const std::string& path, std::size_t max_size, InputFile& file);

// An archive being written; replaces any existing file of that name.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // False on a short write.
  virtual bool Write(const void* data, std::size_t size) = 0;
  virtual std::uint64_t Position() const = 0;
  // Closes the file; when keep is false it is deleted.
  virtual void Close(bool keep) = 0;
};

// Null when the file cannot be created.
std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path);

// The part of a path after its last folder separator.
std::string_view FileNameOf(std::string_view path);

}  // namespace reporter::archive
