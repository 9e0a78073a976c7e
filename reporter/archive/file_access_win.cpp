// File access through Win32.
#include <windows.h>

#include "framework/win_handle.h"
#include "reporter/archive/file_access.h"

namespace reporter::archive {

namespace {

struct FileHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
using ScopedFile = framework::UniqueHandle<HANDLE, FileHandleTraits>;

std::wstring Wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
  wide.resize(static_cast<std::size_t>(n - 1));
  return wide;
}

class WinOutputFile final : public OutputFile {
 public:
  WinOutputFile(ScopedFile file, std::wstring path)
      : file_(std::move(file)), path_(std::move(path)) {}
  ~WinOutputFile() override { Close(false); }

  bool Write(const void* data, std::size_t size) override {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
      const DWORD chunk = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
      DWORD written = 0;
      if (!WriteFile(file_.get(), p, chunk, &written, nullptr) || written != chunk) return false;
      p += chunk;
      size -= chunk;
      position_ += chunk;
    }
    return true;
  }
  std::uint64_t Position() const override { return position_; }
  void Close(bool keep) override {
    if (!file_) return;
    const bool closed = CloseHandle(file_.release()) != FALSE;
    if (!keep || !closed) DeleteFileW(path_.c_str());
  }

 private:
  ScopedFile file_;
  std::wstring path_;
  std::uint64_t position_ = 0;
};

}  // namespace

bool ReadInputFile(const std::string& path, std::size_t max_size, InputFile& file) {
  const std::wstring wide = Wide(path);
  if (wide.empty()) return false;
  ScopedFile handle(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle.get(), &info)) return false;
  const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  if (size > max_size) return false;
  try {
    file.content.resize(static_cast<std::size_t>(size));
  } catch (...) {
    return false;
  }
  std::size_t done = 0;
  while (done < file.content.size()) {
    const std::size_t left = file.content.size() - done;
    const DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
    DWORD read = 0;
    if (!ReadFile(handle.get(), file.content.data() + done, chunk, &read, nullptr) || read == 0) {
      return false;
    }
    done += read;
  }
  FILETIME local{};
  WORD date = 0;
  WORD time = 0;
  if (FileTimeToLocalFileTime(&info.ftLastWriteTime, &local) &&
      FileTimeToDosDateTime(&local, &date, &time)) {
    file.dos_date = date;
    file.dos_time = time;
  } else {
    file.dos_date = (1 << 5) | 1;  // 1980-01-01, the first date DOS has
    file.dos_time = 0;
  }
  file.attributes = info.dwFileAttributes;
  return true;
}

std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path) {
  std::wstring wide = Wide(path);
  if (wide.empty()) return nullptr;
  ScopedFile handle(CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) return nullptr;
  try {
    return std::make_unique<WinOutputFile>(std::move(handle), std::move(wide));
  } catch (...) {
    handle.reset();
    DeleteFileW(wide.c_str());
    return nullptr;
  }
}

std::string_view FileNameOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/:");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace reporter::archive
