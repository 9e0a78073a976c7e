#include "reporter/settings/settings_stream.h"

#include <cstring>
#include <limits>

#include "reporter/archive/code_page.h"
#include "support/cipher.h"
#include "support/text_rules.h"

namespace reporter::settings {

namespace {

// Reads the stream front to back; every read checks that the bytes are there.
class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}

  bool Bytes(std::size_t n, const std::uint8_t*& out) {
    if (static_cast<std::size_t>(end_ - p_) < n) return false;
    out = p_;
    p_ += n;
    return true;
  }
  bool Byte(std::uint8_t& out) {
    const std::uint8_t* b = nullptr;
    if (!Bytes(1, b)) return false;
    out = *b;
    return true;
  }
  bool U32(std::uint32_t& out) {
    const std::uint8_t* b = nullptr;
    if (!Bytes(4, b)) return false;
    out = b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    return true;
  }
  bool ShortString(std::string_view& out) {
    std::uint8_t length = 0;
    const std::uint8_t* b = nullptr;
    if (!Byte(length) || !Bytes(length, b)) return false;
    out = std::string_view(reinterpret_cast<const char*>(b), length);
    return true;
  }
  std::size_t Left() const { return static_cast<std::size_t>(end_ - p_); }

 private:
  const std::uint8_t* p_;
  const std::uint8_t* end_;
};

enum class Step { kStored, kEnd, kUnknown, kTruncated };

// Reads one value of the given type into a new property named name.
Step ReadValue(Reader& in, std::string_view name, std::uint8_t type, ModuleSettingsEntry& entry) {
  const std::uint8_t* b = nullptr;
  std::int32_t integer = 0;
  std::string text;
  PropertyKind kind = PropertyKind::kInteger;
  bool boolean = false;
  switch (static_cast<StreamType>(type)) {
    case StreamType::kInt8:
      if (!in.Bytes(1, b)) return Step::kTruncated;
      integer = static_cast<std::int8_t>(b[0]);
      break;
    case StreamType::kInt16:
      if (!in.Bytes(2, b)) return Step::kTruncated;
      integer = static_cast<std::int16_t>(b[0] | b[1] << 8);
      break;
    case StreamType::kInt32: {
      std::uint32_t u = 0;
      if (!in.U32(u)) return Step::kTruncated;
      integer = static_cast<std::int32_t>(u);
      break;
    }
    case StreamType::kShortText: {
      std::string_view short_text;
      if (!in.ShortString(short_text)) return Step::kTruncated;
      kind = PropertyKind::kText;
      text = short_text;
      break;
    }
    case StreamType::kFalse:
    case StreamType::kTrue:
      kind = PropertyKind::kBoolean;
      boolean = static_cast<StreamType>(type) == StreamType::kTrue;
      break;
    case StreamType::kLongText: {
      std::uint32_t length = 0;
      // The length is checked against what is left before anything is allocated.
      if (!in.U32(length) || !in.Bytes(length, b)) return Step::kTruncated;
      kind = PropertyKind::kText;
      text.assign(reinterpret_cast<const char*>(b), length);
      break;
    }
    case StreamType::kWideText: {
      std::uint32_t units = 0;
      if (!in.U32(units) || units > in.Left() / 2 || !in.Bytes(std::size_t{units} * 2, b)) {
        return Step::kTruncated;
      }
      std::u16string wide(units, u'\0');
      for (std::uint32_t i = 0; i < units; ++i) {
        wide[i] = static_cast<char16_t>(b[2 * i] | b[2 * i + 1] << 8);
      }
      kind = PropertyKind::kText;
      text = archive::Utf16ToAnsi(wide);
      break;
    }
    default:
      return Step::kUnknown;
  }
  StoredProperty* property = AppendProperty(entry, name, kind);
  if (property == nullptr) return Step::kTruncated;
  property->boolean = boolean ? 1 : 0;
  property->integer = integer;
  if (kind == PropertyKind::kText && !SetStoredText(*property, text)) return Step::kTruncated;
  return Step::kStored;
}

Step ReadProperty(Reader& in, ModuleSettingsEntry& entry, std::uint8_t& type) {
  std::string_view name;
  if (!in.ShortString(name)) return Step::kTruncated;
  if (name.empty()) return Step::kEnd;
  if (!in.Byte(type)) return Step::kTruncated;
  return ReadValue(in, name, type, entry);
}

}  // namespace

ParseResult ParseSettingsStream(const void* data, std::size_t size, ModuleSettingsEntry& entry) {
  ParseResult result;
  if (data == nullptr || size < kSettingsStreamHeader.size() ||
      std::memcmp(data, kSettingsStreamHeader.data(), kSettingsStreamHeader.size()) != 0) {
    return result;
  }
  Reader in(static_cast<const std::uint8_t*>(data) + kSettingsStreamHeader.size(),
            size - kSettingsStreamHeader.size());
  try {
    for (;;) {
      std::uint8_t type = 0;
      switch (ReadProperty(in, entry, type)) {
        case Step::kStored:
          continue;
        case Step::kEnd:
          return result;
        case Step::kUnknown:
          result.unknown_type = type;
          return result;
        case Step::kTruncated:
          result.truncated = true;
          return result;
      }
    }
  } catch (...) {  // out of memory while converting a text
    result.truncated = true;
    return result;
  }
}

std::string InvalidResourceMessage(std::uint8_t type) {
  return "Internal error: Invalid settings resource (" + support::DollarHex(type) + ").";
}

void DecodeStoredPasswords(ModuleSettingsEntry& entry) {
  constexpr std::string_view kKeys[][3] = {{"SmtpPassword", "SmtpServer", "SmtpAccount"},
                                           {"HttpPassword", "HttpServer", "HttpAccount"}};
  auto text_of = [&](std::string_view name) {
    const StoredProperty* p = FindStoredProperty(entry, name);
    return p != nullptr && p->kind == static_cast<std::uint8_t>(PropertyKind::kText)
               ? ValueOf(*p).text
               : std::string_view();
  };
  for (const auto& keys : kKeys) {
    StoredProperty* password = FindStoredProperty(entry, keys[0]);
    if (password == nullptr || password->text == nullptr) continue;
    const std::string clear = support::DropErrors([&] {
      return support::DecodeStoredPassword(password->text, text_of(keys[1]), text_of(keys[2]));
    });
    SetStoredText(*password, clear);
  }
}

std::string WriteSettingsStream(const SettingsList& properties) {
  std::string out(kSettingsStreamHeader);
  auto u32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
  };
  for (const SettingsProperty& p : properties) {
    if (p.name.empty() || p.name.size() > 255) continue;
    out.push_back(static_cast<char>(p.name.size()));
    out += p.name;
    switch (p.kind) {
      case PropertyKind::kBoolean:
        out.push_back(static_cast<char>(p.boolean ? StreamType::kTrue : StreamType::kFalse));
        break;
      case PropertyKind::kInteger:
        if (p.integer >= -128 && p.integer <= 127) {
          out.push_back(static_cast<char>(StreamType::kInt8));
          out.push_back(static_cast<char>(p.integer));
        } else if (p.integer >= -32768 && p.integer <= 32767) {
          out.push_back(static_cast<char>(StreamType::kInt16));
          out.push_back(static_cast<char>(p.integer & 0xFF));
          out.push_back(static_cast<char>((p.integer >> 8) & 0xFF));
        } else {
          out.push_back(static_cast<char>(StreamType::kInt32));
          u32(static_cast<std::uint32_t>(p.integer));
        }
        break;
      case PropertyKind::kText:
        if (p.text.size() <= 255) {
          out.push_back(static_cast<char>(StreamType::kShortText));
          out.push_back(static_cast<char>(p.text.size()));
        } else {
          out.push_back(static_cast<char>(StreamType::kLongText));
          u32(static_cast<std::uint32_t>(p.text.size()));
        }
        out += p.text;
        break;
    }
  }
  out.push_back('\0');  // end of the property list
  out.push_back('\0');  // end of the object's children
  return out;
}

}  // namespace reporter::settings
