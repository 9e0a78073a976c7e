#include "tools/jetdump/csv.h"

#include <cstdio>

namespace jetdump {

namespace {

using jetdb::ColumnType;

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (std::uint8_t byte : bytes) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
  }
  return out;
}

std::string Printf(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::string CsvField(const jetdb::Cursor& row, const jetdb::Column& column) {
  if (row.IsNull(column)) return {};
  switch (column.type) {
    case ColumnType::kBoolean:
      return row.Boolean(column) ? "1" : "0";
    case ColumnType::kText:
    case ColumnType::kMemo:
    case ColumnType::kGuid:
      return Quoted(row.Text(column));
    case ColumnType::kDateTime:
      return Quoted(jetdb::FormatDateTime(row.DateTime(column)));
    case ColumnType::kCurrency:
      return jetdb::FormatCurrency(*row.CurrentRow().Currency(column));
    case ColumnType::kSingle:
      // mdb-export prints eight significant digits of a Single and sixteen of a Double.
      return Printf("%.8g", row.Double(column));
    case ColumnType::kDouble:
      return Printf("%.16g", row.Double(column));
    case ColumnType::kOle:
    case ColumnType::kBinary:
      return Quoted(Hex(row.Bytes(column)));
    default:
      return row.Text(column);  // whole numbers and Decimal
  }
}

void WriteCsv(const jetdb::Table& table, jetdb::Cursor rows, std::ostream& out) {
  const auto& columns = table.Columns();
  for (std::size_t i = 0; i < columns.size(); ++i) out << (i ? "," : "") << columns[i].name;
  out << '\n';
  while (rows.Next()) {
    std::string line;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (i) line += ',';
      line += CsvField(rows, columns[i]);
    }
    out << line << '\n';
  }
}

}  // namespace jetdump
