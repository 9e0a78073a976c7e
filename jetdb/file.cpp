#include "jetdb/file.h"

#include <algorithm>
#include <utility>

#include "jetdb/error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace jetdb {

namespace {

[[noreturn]] void ThrowNotFound(const std::string& path) {
  throw FileError("Could not find file '" + path + "'.");
}

std::size_t ReadMemory(const std::vector<std::uint8_t>& bytes, std::uint64_t offset, void* buffer,
                       std::size_t size) {
  if (offset >= bytes.size()) return 0;
  const std::size_t count = std::min<std::uint64_t>(size, bytes.size() - offset);
  std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), count,
              static_cast<std::uint8_t*>(buffer));
  return count;
}

void WriteMemory(std::vector<std::uint8_t>& bytes, std::uint64_t offset, const void* buffer,
                 std::size_t size) {
  if (offset + size > bytes.size()) bytes.resize(offset + size);
  std::copy_n(static_cast<const std::uint8_t*>(buffer), size,
              bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace

#ifdef _WIN32

namespace {

const HANDLE kNoHandle = INVALID_HANDLE_VALUE;

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

bool OnFixedDrive(const std::wstring& path) {
  wchar_t volume[MAX_PATH + 1];
  return GetVolumePathNameW(path.c_str(), volume, MAX_PATH) && GetDriveTypeW(volume) == DRIVE_FIXED;
}

}  // namespace

File File::Open(const std::string& path, bool write) {
  const std::wstring wide_path = Widen(path);
  HANDLE handle = CreateFileW(wide_path.c_str(), GENERIC_READ | (write ? GENERIC_WRITE : 0),
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
        code == ERROR_INVALID_NAME || code == ERROR_BAD_NETPATH) {
      ThrowNotFound(path);
    }
    if (write && code == ERROR_ACCESS_DENIED) {
      throw FileError("The file '" + path +
                      "' is read-only or in use and cannot be opened for writing.");
    }
    throw FileError("Could not open file '" + path + "' (system error " + std::to_string(code) +
                    ").");
  }
  File file(path, handle, write);
  if (write && OnFixedDrive(wide_path)) file.view_ = std::make_unique<View>(handle);
  return file;
}

// Pages of a file opened for writing are copied into views of the file mapped into memory:
// under Wine a seek and a write cost five times such a copy, and the views' pages are the
// system's cache of the file, so a program that dies after a post keeps the post as surely as
// with WriteFile. The file is mapped in chunks of the system's mapping granularity, each
// mapped once the file holds all of it and kept until the file closes (mapping anew would
// fault every page in again, at several times the cost of a write). Bytes of the last, partial
// chunk go through WriteFile. Only local fixed drives are mapped, and only the first 256 MB of
// a file (a 32-bit process has little address space to spare); when mapping fails the file is
// simply written with WriteFile.
struct File::View {
  explicit View(HANDLE file) : file(file) {
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size)) Reached(static_cast<std::uint64_t>(size.QuadPart));
  }
  ~View() {
    for (std::uint8_t* chunk : chunks) UnmapViewOfFile(chunk);
  }
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  // Maps the chunks that the file, now at least size bytes long, holds whole.
  void Reached(std::uint64_t size) {
    const std::uint64_t whole = std::min<std::uint64_t>(size / kChunk, kMostChunks);
    if (failed || whole <= chunks.size()) return;
    HANDLE section = CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 0, nullptr);
    if (!section) {
      failed = true;
      return;
    }
    while (chunks.size() < whole) {
      const std::uint64_t offset = chunks.size() * kChunk;
      void* chunk =
          MapViewOfFile(section, FILE_MAP_READ | FILE_MAP_WRITE, static_cast<DWORD>(offset >> 32),
                        static_cast<DWORD>(offset), kChunk);
      if (!chunk) {
        failed = true;
        break;
      }
      chunks.push_back(static_cast<std::uint8_t*>(chunk));
    }
    CloseHandle(section);  // the views keep it
  }

  // Copies between buffer and the file's bytes at offset when all of them are mapped.
  template <typename Copy>
  bool Each(std::uint64_t offset, std::size_t size, Copy copy) const {
    if (offset / kChunk >= chunks.size() || (offset + size - 1) / kChunk >= chunks.size())
      return false;
    for (std::size_t done = 0; done < size;) {
      const std::uint64_t at = offset + done;
      const std::size_t piece = std::min<std::uint64_t>(size - done, kChunk - at % kChunk);
      copy(chunks[at / kChunk] + at % kChunk, done, piece);
      done += piece;
    }
    return true;
  }

  static constexpr std::uint64_t kChunk = 64 << 10;
  static constexpr std::uint64_t kMostChunks = (256 << 20) / kChunk;

  HANDLE file;
  std::vector<std::uint8_t*> chunks;
  bool failed = false;
};

bool File::CopyFromView(std::uint64_t offset, void* buffer, std::size_t size) const {
  if (!view_ || size == 0) return false;
  auto* to = static_cast<std::uint8_t*>(buffer);
  return view_->Each(offset, size,
                     [&](const std::uint8_t* mapped, std::size_t done, std::size_t piece) {
                       std::copy_n(mapped, piece, to + done);
                     });
}

bool File::CopyToView(std::uint64_t offset, const void* buffer, std::size_t size) {
  if (!view_ || size == 0) return false;
  const auto* from = static_cast<const std::uint8_t*>(buffer);
  return view_->Each(offset, size, [&](std::uint8_t* mapped, std::size_t done, std::size_t piece) {
    std::copy_n(from + done, piece, mapped);
  });
}

std::uint64_t File::Size() const {
  if (memory_) return memory_->size();
  LARGE_INTEGER size;
  if (!GetFileSizeEx(static_cast<HANDLE>(handle_), &size)) {
    throw Error("Could not read file '" + path_ + "'.");
  }
  return static_cast<std::uint64_t>(size.QuadPart);
}

std::size_t File::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
  if (memory_) return ReadMemory(*memory_, offset, buffer, size);
  if (CopyFromView(offset, buffer, size)) return size;
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(static_cast<HANDLE>(handle_), position, nullptr, FILE_BEGIN)) {
    throw Error("Could not read file '" + path_ + "'.");
  }
  std::size_t done = 0;
  auto* bytes = static_cast<char*>(buffer);
  while (done < size) {
    DWORD chunk = 0;
    DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    if (!ReadFile(static_cast<HANDLE>(handle_), bytes + done, wanted, &chunk, nullptr)) {
      throw Error("Could not read file '" + path_ + "'.");
    }
    if (chunk == 0) break;
    done += chunk;
  }
  return done;
}

void File::WriteAt(std::uint64_t offset, const void* buffer, std::size_t size) {
  if (!writable_) throw Error("The database '" + path_ + "' is open for reading only.");
  if (memory_) return WriteMemory(*memory_, offset, buffer, size);
  if (CopyToView(offset, buffer, size)) return;
  // A seek, then a plain write: a write that names its offset in an OVERLAPPED saves the seek
  // but costs about fifty times as much under Wine.
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(static_cast<HANDLE>(handle_), position, nullptr, FILE_BEGIN)) {
    throw Error("Could not write file '" + path_ + "'.");
  }
  std::size_t done = 0;
  const auto* bytes = static_cast<const char*>(buffer);
  while (done < size) {
    DWORD chunk = 0;
    DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    if (!WriteFile(static_cast<HANDLE>(handle_), bytes + done, wanted, &chunk, nullptr) ||
        chunk == 0) {
      throw Error("Could not write file '" + path_ + "' (system error " +
                  std::to_string(GetLastError()) + ").");
    }
    done += chunk;
  }
  if (view_) view_->Reached(offset + size);
}

void File::Close() noexcept {
  view_.reset();
  if (handle_ != kNoHandle) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = kNoHandle;
}

#else

namespace {
constexpr int kNoHandle = -1;
}  // namespace

File File::Open(const std::string& path, bool write) {
  int fd;
  do {
    fd = ::open(path.c_str(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    int code = errno;
    if (code == ENOENT || code == ENOTDIR || path.empty()) ThrowNotFound(path);
    if (write && (code == EACCES || code == EROFS || code == EPERM)) {
      throw FileError("The file '" + path +
                      "' is read-only or in use and cannot be opened for writing.");
    }
    throw FileError("Could not open file '" + path + "' (" + std::strerror(code) + ").");
  }
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    ThrowNotFound(path);
  }
  return File(path, fd, write);
}

std::uint64_t File::Size() const {
  if (memory_) return memory_->size();
  struct stat info;
  if (::fstat(handle_, &info) != 0) throw Error("Could not read file '" + path_ + "'.");
  return static_cast<std::uint64_t>(info.st_size);
}

std::size_t File::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
  if (memory_) return ReadMemory(*memory_, offset, buffer, size);
  std::size_t done = 0;
  auto* bytes = static_cast<char*>(buffer);
  while (done < size) {
    ssize_t chunk = ::pread(handle_, bytes + done, size - done, static_cast<off_t>(offset + done));
    if (chunk < 0) {
      if (errno == EINTR) continue;
      throw Error("Could not read file '" + path_ + "'.");
    }
    if (chunk == 0) break;
    done += static_cast<std::size_t>(chunk);
  }
  return done;
}

void File::WriteAt(std::uint64_t offset, const void* buffer, std::size_t size) {
  if (!writable_) throw Error("The database '" + path_ + "' is open for reading only.");
  if (memory_) return WriteMemory(*memory_, offset, buffer, size);
  std::size_t done = 0;
  const auto* bytes = static_cast<const char*>(buffer);
  while (done < size) {
    ssize_t chunk = ::pwrite(handle_, bytes + done, size - done, static_cast<off_t>(offset + done));
    if (chunk < 0 && errno == EINTR) continue;
    if (chunk <= 0) {
      throw Error("Could not write file '" + path_ + "' (" +
                  std::strerror(chunk < 0 ? errno : ENOSPC) + ").");
    }
    done += static_cast<std::size_t>(chunk);
  }
}

void File::Close() noexcept {
  if (handle_ != kNoHandle) ::close(handle_);
  handle_ = kNoHandle;
}

#endif

File File::OpenRead(const std::string& path) { return Open(path, false); }

File File::OpenReadWrite(const std::string& path) { return Open(path, true); }

File File::FromMemory(std::vector<std::uint8_t> bytes, const std::string& name, bool writable) {
  File file(name, kNoHandle, writable);
  file.memory_ = std::make_shared<std::vector<std::uint8_t>>(std::move(bytes));
  return file;
}

std::vector<std::uint8_t> File::MemoryBytes() const {
  return memory_ ? *memory_ : std::vector<std::uint8_t>{};
}

File::File(std::string path, Handle handle, bool writable)
    : path_(std::move(path)), handle_(handle), writable_(writable) {}

File::File(File&& other) noexcept
    : path_(std::move(other.path_)),
      handle_(std::exchange(other.handle_, kNoHandle)),
      writable_(other.writable_),
      memory_(std::move(other.memory_))
#ifdef _WIN32
      ,
      view_(std::move(other.view_))
#endif
{
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    path_ = std::move(other.path_);
    handle_ = std::exchange(other.handle_, kNoHandle);
    writable_ = other.writable_;
    memory_ = std::move(other.memory_);
#ifdef _WIN32
    view_ = std::move(other.view_);
#endif
  }
  return *this;
}

File::~File() { Close(); }

}  // namespace jetdb
