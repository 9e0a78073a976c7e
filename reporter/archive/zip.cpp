#include "reporter/archive/zip.h"

#include <cstdint>
#include <limits>

#include "reporter/archive/code_page.h"
#include "reporter/archive/compression.h"
#include "reporter/archive/crc32.h"
#include "reporter/archive/file_access.h"

namespace reporter::archive {

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::uint32_t kCentralSignature = 0x02014B50;
constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::uint16_t kVersion = 20;
constexpr std::uint16_t kUtf8Names = 0x0800;
constexpr std::uint16_t kDeflate = 8;

// The largest file taken: its compression buffer (size * 11 / 10 + 12) and every size and
// offset of the archive must fit 32 bits.
constexpr std::size_t kMaxFileSize = 0x7FFFFFFF / 11 * 10 - 12;

// What the central directory repeats of a file written.
struct Entry {
  std::uint16_t time = 0;
  std::uint16_t date = 0;
  std::uint32_t crc = 0;
  std::uint32_t compressed = 0;
  std::uint32_t size = 0;
  std::uint32_t attributes = 0;
  std::uint32_t offset = 0;
  std::string name;  // UTF-8
};

class Record {
 public:
  void U16(std::uint16_t v) {
    bytes_.push_back(static_cast<char>(v & 0xFF));
    bytes_.push_back(static_cast<char>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v & 0xFFFF));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void Text(const std::string& text) { bytes_ += text; }
  bool WriteTo(OutputFile& out) const { return out.Write(bytes_.data(), bytes_.size()); }

 private:
  std::string bytes_;
};

// Local header offsets 4 to 27, which the central directory repeats.
void CommonFields(Record& r, const Entry& e) {
  r.U16(kVersion);
  r.U16(kUtf8Names);
  r.U16(kDeflate);
  r.U16(e.time);
  r.U16(e.date);
  r.U32(e.crc);
  r.U32(e.compressed);
  r.U32(e.size);
  r.U16(static_cast<std::uint16_t>(e.name.size()));
}

bool FitsArchive(std::uint64_t position) {
  return position <= std::numeric_limits<std::uint32_t>::max();
}

enum class Added { kWritten, kSkipped, kFailed };

Added AddFile(OutputFile& out, const std::string& path, std::string name,
              std::vector<Entry>& entries) {
  if (name.size() > 0xFFFF) return Added::kSkipped;
  InputFile file;
  if (!ReadInputFile(path, kMaxFileSize, file)) return Added::kSkipped;
  std::vector<std::uint8_t> packed(file.content.size() * 11 / 10 + 12);
  const std::size_t compressed =
      DeflateBuffer(file.content.data(), packed.data(), file.content.size(), packed.size());
  // Deflate output is never empty; 0 is a failure, and storing it would corrupt the entry.
  if (compressed == 0) return Added::kSkipped;

  Entry e;
  e.time = file.dos_time;
  e.date = file.dos_date;
  e.crc = Crc32(file.content.data(), file.content.size());
  e.compressed = static_cast<std::uint32_t>(compressed);
  e.size = static_cast<std::uint32_t>(file.content.size());
  e.attributes = file.attributes;
  e.name = std::move(name);
  const std::uint64_t position = out.Position();
  if (!FitsArchive(position + 30 + e.name.size() + compressed)) return Added::kFailed;
  e.offset = static_cast<std::uint32_t>(position);

  Record header;
  header.U32(kLocalSignature);
  CommonFields(header, e);
  header.U16(0);  // extra field length
  header.Text(e.name);
  if (!header.WriteTo(out) || !out.Write(packed.data(), compressed)) return Added::kFailed;
  entries.push_back(std::move(e));
  return Added::kWritten;
}

bool WriteDirectory(OutputFile& out, const std::vector<Entry>& entries) {
  if (entries.size() > 0xFFFF) return false;
  const std::uint64_t start = out.Position();
  Record directory;
  for (const Entry& e : entries) {
    directory.U32(kCentralSignature);
    directory.U16(kVersion);  // made by
    CommonFields(directory, e);
    directory.U16(0);  // extra field length
    directory.U16(0);  // comment length
    directory.U16(0);  // disk number start
    directory.U16(0);  // internal attributes
    directory.U32(e.attributes);
    directory.U32(e.offset);
    directory.Text(e.name);
  }
  if (!directory.WriteTo(out)) return false;
  const std::uint64_t size = out.Position() - start;
  if (!FitsArchive(start + size)) return false;
  Record end;
  end.U32(kEndSignature);
  end.U16(0);
  end.U16(0);
  end.U16(static_cast<std::uint16_t>(entries.size()));
  end.U16(static_cast<std::uint16_t>(entries.size()));
  end.U32(static_cast<std::uint32_t>(size));
  end.U32(static_cast<std::uint32_t>(start));
  end.U16(0);
  return end.WriteTo(out);
}

bool WriteArchive(OutputFile& out, const std::vector<std::string>& files,
                  const std::vector<std::string>& stored_names) {
  std::vector<Entry> entries;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string& stored =
        i < stored_names.size() ? stored_names[i] : std::string(FileNameOf(files[i]));
    switch (AddFile(out, files[i], AnsiToUtf8(stored), entries)) {
      case Added::kWritten:
      case Added::kSkipped:
        break;
      case Added::kFailed:
        return false;
    }
  }
  return !entries.empty() && WriteDirectory(out, entries);
}

}  // namespace

bool CreateZipArchive(const std::string& archive_path, const std::vector<std::string>& files,
                      const std::vector<std::string>& stored_names) {
  std::unique_ptr<OutputFile> out;
  try {
    out = CreateOutputFile(archive_path);
    if (!out) return false;
    const bool ok = WriteArchive(*out, files, stored_names);
    out->Close(ok);
    return ok;
  } catch (...) {
    // Out of memory while buffering: the partial archive goes.
    if (out) out->Close(false);
    return false;
  }
}

}  // namespace reporter::archive
