#include "tools/jetfixture/fixture.h"

#include <cctype>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "jetdb/create.h"
#include "jetdb/jetdb.h"

namespace jetfixture {

namespace {

using jetdb::ColumnType;

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") + 1 - first);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == separator) {
      part += separator;
      ++i;
    } else if (text[i] == separator) {
      parts.push_back(Trim(part));
      part.clear();
    } else {
      part += text[i];
    }
  }
  parts.push_back(Trim(part));
  return parts;
}

ColumnType TypeNamed(const std::string& name) {
  static const std::pair<const char*, ColumnType> kTypes[] = {
      {"text", ColumnType::kText},         {"memo", ColumnType::kMemo},
      {"byte", ColumnType::kByte},         {"integer", ColumnType::kInteger},
      {"long", ColumnType::kLong},         {"single", ColumnType::kSingle},
      {"double", ColumnType::kDouble},     {"currency", ColumnType::kCurrency},
      {"datetime", ColumnType::kDateTime}, {"boolean", ColumnType::kBoolean},
      {"ole", ColumnType::kOle},           {"binary", ColumnType::kBinary}};
  for (const auto& [text, type] : kTypes) {
    if (Lower(name) == text) return type;
  }
  throw jetdb::Error("unknown column type '" + name + "'");
}

jetdb::Value ValueFor(ColumnType type, const std::string& text) {
  if (text.empty()) return jetdb::Value::Null();
  if ((type == ColumnType::kOle || type == ColumnType::kBinary)) {
    if (text.size() % 2 != 0 || Lower(text.substr(0, 2)) != "0x") {
      throw jetdb::Error("bytes are written as 0x and pairs of hex digits");
    }
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 2; i < text.size(); i += 2) {
      bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return jetdb::Value::Bytes(std::move(bytes));
  }
  return jetdb::Value::Text(text);
}

// A table being described: created when its first row comes (or at the end).
struct PendingTable {
  std::string name;
  std::vector<jetdb::ColumnSpec> columns;
  std::vector<jetdb::IndexSpec> indexes;
  bool exists = false;
  bool created = false;
};

class Builder {
 public:
  explicit Builder(jetdb::Database& database) : database_(database) {}

  void Line(const std::string& raw) {
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') return;
    const auto space = line.find(' ');
    const std::string word = Lower(line.substr(0, space));
    const std::string rest = space == std::string::npos ? "" : Trim(line.substr(space + 1));
    if (word == "table") return StartTable(rest);
    if (!table_) throw jetdb::Error("'" + word + "' before any table");
    if (word == "column") return AddColumn(rest);
    if (word == "index") return AddIndex(rest);
    if (word == "row") return AddRow(rest);
    throw jetdb::Error("unknown statement '" + word + "'");
  }

  void Finish() { Create(); }

 private:
  void StartTable(const std::string& name) {
    Create();
    writer_.reset();
    if (name.empty()) throw jetdb::Error("a table needs a name");
    table_.emplace();
    table_->name = name;
    for (const std::string& existing : database_.TableNames()) {
      if (jetdb::SameName(existing, name)) table_->exists = true;
    }
  }

  void Defining() {
    if (table_->exists) throw jetdb::Error("table '" + table_->name + "' exists already");
    if (table_->created) throw jetdb::Error("columns and indexes come before the rows");
  }

  void AddColumn(const std::string& text) {
    Defining();
    std::istringstream words(text);
    jetdb::ColumnSpec column;
    std::string type;
    if (!(words >> column.name >> type)) throw jetdb::Error("a column needs a name and a type");
    column.type = TypeNamed(type);
    for (std::string word; words >> word;) {
      if (Lower(word) == "auto") {
        column.auto_number = true;
      } else {
        column.length = static_cast<std::uint16_t>(std::stoul(word));
      }
    }
    table_->columns.push_back(column);
  }

  void AddIndex(const std::string& text) {
    Defining();
    const auto colon = text.find(':');
    if (colon == std::string::npos) throw jetdb::Error("an index lists its columns after ':'");
    std::istringstream words(text.substr(0, colon));
    jetdb::IndexSpec index;
    if (!(words >> index.name)) throw jetdb::Error("an index needs a name");
    for (std::string word; words >> word;) {
      word = Lower(word);
      if (word == "primary") {
        index.primary_key = true;
      } else if (word == "unique") {
        index.unique = true;
      } else if (word == "ignorenulls") {
        index.ignore_nulls = true;
      } else if (word == "required") {
        index.required = true;
      } else {
        throw jetdb::Error("unknown index property '" + word + "'");
      }
    }
    for (const std::string& part : Split(text.substr(colon + 1), ',')) {
      std::istringstream column_words(part);
      std::string name, order;
      column_words >> name >> order;
      std::optional<std::uint16_t> number;
      for (std::size_t i = 0; i < table_->columns.size(); ++i) {
        if (jetdb::SameName(table_->columns[i].name, name)) number = static_cast<std::uint16_t>(i);
      }
      if (!number) throw jetdb::Error("index '" + index.name + "' names no column '" + name + "'");
      index.columns.push_back({*number, Lower(order) != "desc"});
    }
    table_->indexes.push_back(index);
  }

  void Create() {
    if (!table_ || table_->exists || table_->created) return;
    jetdb::CreateTable(database_, table_->name, table_->columns, table_->indexes);
    table_->created = true;
  }

  void AddRow(const std::string& text) {
    Create();
    if (!writer_) writer_.emplace(database_.OpenWriter(table_->name));
    const auto& columns = writer_->Definition().columns;
    const std::vector<std::string> values = Split(text, '|');
    if (values.size() != columns.size()) {
      throw jetdb::Error("a row of '" + table_->name + "' has " + std::to_string(columns.size()) +
                         " values, not " + std::to_string(values.size()));
    }
    jetdb::RowValues row;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      row.emplace_back(columns[i].name, ValueFor(columns[i].type, values[i]));
    }
    writer_->Insert(row);
  }

  jetdb::Database& database_;
  std::optional<PendingTable> table_;
  std::optional<jetdb::TableWriter> writer_;  // the current table's, kept between its rows
};

}  // namespace

void Describe(jetdb::Database& database, const std::string& description,
              const std::string& source_name) {
  Builder builder(database);
  std::istringstream lines(description);
  int number = 0;
  try {
    for (std::string line; std::getline(lines, line);) {
      ++number;
      builder.Line(line);
    }
    number = 0;
    builder.Finish();
  } catch (const std::exception& error) {
    if (number == 0) throw jetdb::Error(source_name + ": " + error.what());
    throw jetdb::Error(source_name + ":" + std::to_string(number) + ": " + error.what());
  }
}

void BuildDatabase(const std::string& description, const std::string& base_path,
                   const std::string& out_path, const std::string& source_name) {
  try {
    if (base_path.empty() || base_path == "-") {
      std::filesystem::remove(out_path);
      jetdb::CreateDatabase(out_path);
    } else {
      std::filesystem::copy_file(base_path, out_path,
                                 std::filesystem::copy_options::overwrite_existing);
      std::filesystem::permissions(out_path, std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add);
    }
    auto database = jetdb::Database::Open(out_path, jetdb::Access::kReadWrite);
    Describe(*database, description, source_name);
  } catch (const std::exception& error) {
    std::error_code ignored;
    std::filesystem::remove(out_path, ignored);
    if (dynamic_cast<const jetdb::Error*>(&error)) throw;
    throw jetdb::Error(out_path + ": " + error.what());
  }
}

}  // namespace jetfixture
