// A read-only file opened for random access reads. Opening never creates, truncates or writes
// the file, and other processes may keep reading, writing or deleting it meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace jetdb {

class File {
 public:
  // Opens an existing file for reading. A file that does not exist gives
  // Error("Could not find file '<path>'."); any other failure gives an Error naming the path.
  static File OpenRead(const std::string& path);

  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  const std::string& Path() const { return path_; }
  std::uint64_t Size() const;

  // Reads up to size bytes at offset; returns how many were read (fewer only at end of file).
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const;

 private:
#ifdef _WIN32
  using Handle = void*;
#else
  using Handle = int;
#endif
  File(std::string path, Handle handle) : path_(std::move(path)), handle_(handle) {}
  void Close() noexcept;

  std::string path_;
  Handle handle_;
};

}  // namespace jetdb
