// File access on POSIX hosts.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "reporter/archive/file_access.h"

namespace reporter::archive {

namespace {

class PosixOutputFile final : public OutputFile {
 public:
  PosixOutputFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixOutputFile() override { Close(false); }

  bool Write(const void* data, std::size_t size) override {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
      const ssize_t n = ::write(fd_, p, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      p += n;
      size -= static_cast<std::size_t>(n);
      position_ += static_cast<std::uint64_t>(n);
    }
    return true;
  }
  std::uint64_t Position() const override { return position_; }
  void Close(bool keep) override {
    if (fd_ < 0) return;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!keep || !closed) ::unlink(path_.c_str());
  }

 private:
  int fd_;
  std::string path_;
  std::uint64_t position_ = 0;
};

// DOS attribute bits from the mode: read-only when nobody may write, archive otherwise.
std::uint32_t AttributesOf(const struct stat& st) {
  constexpr std::uint32_t kReadOnly = 0x01;
  constexpr std::uint32_t kArchive = 0x20;
  return (st.st_mode & 0222) == 0 ? kReadOnly | kArchive : kArchive;
}

void SetDosTime(std::time_t when, InputFile& file) {
  struct tm local {};
  if (localtime_r(&when, &local) == nullptr || local.tm_year < 80) {
    file.dos_date = (0 << 9) | (1 << 5) | 1;  // 1980-01-01, the first date DOS has
    file.dos_time = 0;
    return;
  }
  file.dos_date = static_cast<std::uint16_t>(((local.tm_year - 80) << 9) |
                                             ((local.tm_mon + 1) << 5) | local.tm_mday);
  file.dos_time =
      static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
}

}  // namespace

bool ReadInputFile(const std::string& path, std::size_t max_size, InputFile& file) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
            static_cast<std::uint64_t>(st.st_size) <= max_size;
  if (ok) {
    try {
      file.content.resize(static_cast<std::size_t>(st.st_size));
    } catch (...) {
      ok = false;
    }
  }
  std::size_t done = 0;
  while (ok && done < file.content.size()) {
    const ssize_t n = ::read(fd, file.content.data() + done, file.content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      ok = false;
    else
      done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (!ok) return false;
  SetDosTime(st.st_mtime, file);
  file.attributes = AttributesOf(st);
  return true;
}

std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  try {
    return std::make_unique<PosixOutputFile>(fd, path);
  } catch (...) {
    ::close(fd);
    ::unlink(path.c_str());
    return nullptr;
  }
}

std::string_view FileNameOf(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace reporter::archive
