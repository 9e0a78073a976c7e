// A database file opened for random access reads: a file on disk or bytes in memory. Opening
// never creates, truncates or writes the file, and other processes may keep reading, writing
// or deleting it meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace jetdb {

class File {
 public:
  // Opens an existing file for reading. A file that does not exist gives
  // Error("Could not find file '<path>'."); any other failure gives an Error naming the path.
  static File OpenRead(const std::string& path);
  // Opens an existing file for reading with write access granted (for the writer); the same
  // sharing, and nothing is written by opening. A read-only file gives an Error naming it.
  static File OpenReadWrite(const std::string& path);
  // Bytes held in memory, shown under name in messages (tests and fuzzing); writable when
  // writable is true (the writes stay in memory).
  static File FromMemory(std::vector<std::uint8_t> bytes, const std::string& name,
                         bool writable = false);
  // The bytes of an in-memory file (empty for a file on disk).
  std::vector<std::uint8_t> MemoryBytes() const;

  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  const std::string& Path() const { return path_; }
  std::uint64_t Size() const;

  // Reads up to size bytes at offset; returns how many were read (fewer only at end of file).
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const;
  // Writes size bytes at offset, growing the file when offset + size is past its end. A file
  // opened for reading only, or a failed or short write, is an Error.
  void WriteAt(std::uint64_t offset, const void* buffer, std::size_t size);
  bool Writable() const { return writable_; }

 private:
#ifdef _WIN32
  using Handle = void*;
#else
  using Handle = int;
#endif
  File(std::string path, Handle handle, bool writable);
  static File Open(const std::string& path, bool write);
  void Close() noexcept;
#ifdef _WIN32
  struct View;  // the file mapped for writing (file.cpp)
  bool CopyFromView(std::uint64_t offset, void* buffer, std::size_t size) const;
  bool CopyToView(std::uint64_t offset, const void* buffer, std::size_t size);
#endif

  std::string path_;
  Handle handle_;
  bool writable_ = false;
  std::shared_ptr<std::vector<std::uint8_t>> memory_;  // set for in-memory files
#ifdef _WIN32
  std::unique_ptr<View> view_;
#endif
};

}  // namespace jetdb
