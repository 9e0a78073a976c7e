#include "tools/jetdump/csv.h"

#include <charconv>
#include <string_view>

namespace jetdump {

namespace {

using jetdb::ColumnType;

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t quote; (quote = text.find('"')) != std::string_view::npos;) {
    out.append(text.substr(0, quote + 1));
    out += '"';
    text.remove_prefix(quote + 1);
  }
  out.append(text);
  out += '"';
}

void AppendHex(std::string& out, const std::vector<std::uint8_t>& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  const std::size_t start = out.size();
  out.resize(start + bytes.size() * 2);
  char* digit = out.data() + start;
  for (std::uint8_t byte : bytes) {
    *digit++ = kDigits[byte >> 4];
    *digit++ = kDigits[byte & 0x0F];
  }
}

// As printf's "%.<digits>g" writes it (to_chars promises the same text, faster).
void AppendNumber(std::string& out, double value, int digits) {
  char text[64];
  const auto result =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, digits);
  out.append(text, result.ptr);
}

void AppendField(std::string& out, const jetdb::Cursor& row, const jetdb::Column& column) {
  if (row.IsNull(column)) return;
  switch (column.type) {
    case ColumnType::kBoolean:
      out += row.Boolean(column) ? '1' : '0';
      return;
    case ColumnType::kText:
    case ColumnType::kMemo:
    case ColumnType::kGuid:
      AppendQuoted(out, row.Text(column));
      return;
    case ColumnType::kDateTime:
      AppendQuoted(out, jetdb::FormatDateTime(row.DateTime(column)));
      return;
    case ColumnType::kCurrency:
      out += jetdb::FormatCurrency(*row.CurrentRow().Currency(column));
      return;
    case ColumnType::kSingle:
      // mdb-export prints eight significant digits of a Single and sixteen of a Double.
      AppendNumber(out, row.Double(column), 8);
      return;
    case ColumnType::kDouble:
      AppendNumber(out, row.Double(column), 16);
      return;
    case ColumnType::kOle:
    case ColumnType::kBinary: {
      out += '"';
      AppendHex(out, row.Bytes(column));
      out += '"';
      return;
    }
    default:
      out += row.Text(column);  // whole numbers and Decimal
  }
}

}  // namespace

std::string CsvField(const jetdb::Cursor& row, const jetdb::Column& column) {
  std::string field;
  AppendField(field, row, column);
  return field;
}

void WriteCsv(const jetdb::Table& table, jetdb::Cursor rows, std::ostream& out) {
  const auto& columns = table.Columns();
  for (std::size_t i = 0; i < columns.size(); ++i) out << (i ? "," : "") << columns[i].name;
  out << '\n';
  std::string line;  // reused: its buffer grows to the longest line once
  while (rows.Next()) {
    line.clear();
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (i) line += ',';
      AppendField(line, rows, columns[i]);
    }
    line += '\n';
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
  }
}

}  // namespace jetdump
