#include <algorithm>

#include "framework/data/state.h"

namespace framework::data {

namespace {

std::wstring Trim(const std::wstring& text) {
  const auto first = text.find_first_not_of(L" \t");
  if (first == std::wstring::npos) return {};
  return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

bool SameKey(const std::wstring& a, const wchar_t* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != 0; ++i) {
    const auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return i == a.size() && b[i] == 0;
}

// Wide text (UTF-16 on Windows, UTF-32 elsewhere) as UTF-8, through the engine's encoder.
std::string Utf8(const std::wstring& wide) {
  std::u16string units;
  units.reserve(wide.size());
  for (const wchar_t c : wide) {
    const auto code = static_cast<char32_t>(c);
    if (code >= 0x10000) {
      units.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(code));
    }
  }
  return jetdb::Utf16ToUtf8(units);
}

}  // namespace

Connection::Connection(std::string name) : name_(std::move(name)) {}

Connection::~Connection() {
  Disconnect();
  for (DataSet* data_set : data_sets_) data_set->connection_ = nullptr;
}

std::wstring Connection::DataSource() const {
  // Parts "key=value" separated by ';'; a value may be quoted with " or ' (a doubled quote
  // stands for itself) and then hold ';'.
  const std::wstring& text = connection_string_;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t equals = text.find(L'=', i);
    const std::size_t semicolon = text.find(L';', i);
    if (equals == std::wstring::npos) break;
    if (semicolon < equals) {
      i = semicolon + 1;
      continue;
    }
    const std::wstring key = Trim(text.substr(i, equals - i));
    i = equals + 1;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    std::wstring value;
    if (i < text.size() && (text[i] == L'"' || text[i] == L'\'')) {
      const wchar_t quote = text[i++];
      for (; i < text.size(); ++i) {
        if (text[i] != quote) {
          value += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == quote) {
          value += quote;
          ++i;
        } else {
          ++i;
          break;
        }
      }
      const std::size_t end = text.find(L';', i);
      i = end == std::wstring::npos ? text.size() : end + 1;
    } else {
      std::size_t end = text.find(L';', i);
      if (end == std::wstring::npos) end = text.size();
      value = Trim(text.substr(i, end - i));
      i = end + 1;
    }
    if (SameKey(key, L"Data Source")) return value;
  }
  return {};
}

void Connection::Connect() {
  if (Connected()) return;
  const std::string path = Utf8(DataSource());
  if (path.empty()) return;
  const auto access =
      mode_ == ConnectMode::kReadOnly ? jetdb::Access::kReadOnly : jetdb::Access::kReadWrite;
  try {
    database_ = jetdb::Database::Open(path, access);
  } catch (const jetdb::FileError&) {
    return;  // not there for us: the caller sees a connection that is not connected
  } catch (const jetdb::Error& error) {
    std::string message = error.what();
    if (message.find(path) == std::string::npos) message += " ('" + path + "')";
    throw EDatabaseError(message);
  }
}

void Connection::Disconnect() {
  if (!Connected()) return;
  // Closing a master makes its details follow, so walk a copy.
  const std::vector<DataSet*> data_sets = data_sets_;
  for (DataSet* data_set : data_sets) data_set->Close();
  writers_.clear();
  database_.reset();
}

jetdb::TableWriter& Connection::Writer(const std::string& table) {
  for (const auto& writer : writers_) {
    if (jetdb::SameName(writer->Name(), table)) return *writer;
  }
  writers_.push_back(std::make_unique<jetdb::TableWriter>(database_->OpenWriter(table)));
  return *writers_.back();
}

void Connection::Attach(DataSet* data_set) { data_sets_.push_back(data_set); }

void Connection::Detach(DataSet* data_set) {
  data_sets_.erase(std::remove(data_sets_.begin(), data_sets_.end(), data_set), data_sets_.end());
}

}  // namespace framework::data
