#include "jetdb/cursor.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "jetdb/error.h"
#include "jetdb/index.h"
#include "jetdb/usage_map.h"
#include "jetdb/values.h"

namespace jetdb {

// Where a cursor's rows come from: the next row pointer in some order.
class RowSource {
 public:
  virtual ~RowSource() = default;
  // The next row (its pointer and the bytes where it lives), or nothing after the last.
  virtual std::optional<std::pair<std::uint32_t, LocatedRow>> Next() = 0;
};

namespace {

// The table's own order: the pages of its usage map, and the row table of each.
class TableScan : public RowSource {
 public:
  TableScan(Pager& pager, const TableDef& table)
      : pager_(pager), owner_(table.page), pages_(ReadUsageMap(pager, table.usage_map)) {}

  std::optional<std::pair<std::uint32_t, LocatedRow>> Next() override {
    for (;;) {
      while (slot_ < slots_.size()) {
        const std::size_t index = slot_++;
        if (slots_[index].Deleted()) continue;  // gone, or the new place of a moved row
        const std::uint32_t pointer = (pages_[page_ - 1] << 8) | static_cast<std::uint32_t>(index);
        return std::pair{pointer, FollowOverflow(pager_, {data_, slots_[index]})};
      }
      if (page_ == pages_.size()) return std::nullopt;
      const std::uint32_t number = pages_[page_++];
      data_ = pager_.Read(number);
      slots_.clear();
      slot_ = 0;
      // Maps may list pages that no longer hold this table's rows.
      if ((*data_)[0] == kDataPageType && DataPageOwner(*data_) == owner_) {
        slots_ = ReadRowSlots(*data_, number);
      }
    }
  }

 private:
  Pager& pager_;
  std::uint32_t owner_;
  std::vector<std::uint32_t> pages_;
  std::size_t page_ = 0;  // the next page to read
  PageData data_;
  std::vector<RowSlot> slots_;
  std::size_t slot_ = 0;
};

class IndexScan : public RowSource {
 public:
  IndexScan(Pager& pager, const TableDef& table, const IndexDef& index)
      : pager_(pager), walker_(pager, table.page, index.first_page) {}

  std::optional<std::pair<std::uint32_t, LocatedRow>> Next() override {
    const auto pointer = walker_.Next();
    if (!pointer) return std::nullopt;
    return std::pair{*pointer, FollowOverflow(pager_, LocateRow(pager_, *pointer))};
  }

 private:
  Pager& pager_;
  IndexWalker walker_;
};

// Rows named by a list of row pointers.
class PointerList : public RowSource {
 public:
  PointerList(Pager& pager, std::vector<std::uint32_t> pointers)
      : pager_(pager), pointers_(std::move(pointers)) {}

  std::optional<std::pair<std::uint32_t, LocatedRow>> Next() override {
    if (position_ == pointers_.size()) return std::nullopt;
    const std::uint32_t pointer = pointers_[position_++];
    return std::pair{pointer, FollowOverflow(pager_, LocateRow(pager_, pointer))};
  }

 private:
  Pager& pager_;
  std::vector<std::uint32_t> pointers_;
  std::size_t position_ = 0;
};

// A value as a sort key: nulls first, then numbers (and dates, Yes/No) or folded text.
struct SortKey {
  bool present = false;
  double number = 0;
  std::u16string text;
  auto operator<=>(const SortKey&) const = default;
};

std::string FormatNumber(double value, int digits) {
  char text[40];
  std::snprintf(text, sizeof text, "%.*g", digits, value);
  return text;
}

// A Currency amount without trailing zeros: "3.5", "-2".
std::string TrimmedCurrency(std::int64_t amount) {
  std::string text = FormatCurrency(amount);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  return text;
}

std::int64_t RoundToInteger(const Column& column, double value) {
  const double rounded = std::nearbyint(value);  // halves to even
  if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)) {
    throw Error("Column '" + column.name + "' holds a value too large for an integer.");
  }
  return static_cast<std::int64_t>(rounded);
}

// A number written as text, blanks around it allowed.
template <typename Number>
bool ParseNumber(const std::string& text, Number& value) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return false;
  const char* end = text.data() + text.find_last_not_of(' ') + 1;
  const auto [stop, error] = std::from_chars(text.data() + first, end, value);
  return error == std::errc() && stop == end;
}

[[noreturn]] void Mismatch(const Column& column, const char* wanted) {
  throw Error("Column '" + column.name + "' cannot be read as " + wanted + ".");
}

}  // namespace

Cursor::Cursor(Pager& pager, std::shared_ptr<const TableDef> table,
               std::unique_ptr<RowSource> source)
    : pager_(&pager), table_(std::move(table)), source_(std::move(source)) {}
Cursor::Cursor(Cursor&&) noexcept = default;
Cursor& Cursor::operator=(Cursor&&) noexcept = default;
Cursor::~Cursor() = default;

bool Cursor::Next() {
  row_.reset();
  page_.reset();
  if (!source_) return false;
  auto next = source_->Next();
  if (!next) {
    source_.reset();
    return false;
  }
  pointer_ = next->first;
  page_ = next->second.page;
  row_.emplace(*table_, next->second.slot.bytes);
  return true;
}

const Row& Cursor::CurrentRow() const {
  if (!row_) throw Error("Either BOF or EOF is True, or the current record has been deleted.");
  return *row_;
}

bool Cursor::IsNull(const Column& column) const {
  const Row& row = CurrentRow();
  if (column.type == ColumnType::kBoolean) return !row.Boolean(column).has_value();
  return row.IsNull(column);
}

std::u16string Cursor::Units(const Column& column) const {
  const Row& row = CurrentRow();
  switch (column.type) {
    case ColumnType::kText:
      return row.IsNull(column) ? std::u16string() : DecodeTextUnits(row.Bytes(column));
    case ColumnType::kMemo: {
      const auto bytes = row.LongValue(*pager_, column);
      return bytes ? DecodeTextUnits(*bytes) : std::u16string();
    }
    default: {
      const std::string text = Text(column);  // ASCII for every other type
      return std::u16string(text.begin(), text.end());
    }
  }
}

std::string Cursor::Text(const Column& column) const {
  const Row& row = CurrentRow();
  if (IsNull(column)) return {};
  switch (column.type) {
    case ColumnType::kText:
      return DecodeText(row.Bytes(column));
    case ColumnType::kMemo: {
      const auto bytes = row.LongValue(*pager_, column);
      return bytes ? DecodeText(*bytes) : std::string();
    }
    case ColumnType::kBoolean:
      return *row.Boolean(column) ? "True" : "False";
    case ColumnType::kByte:
    case ColumnType::kInteger:
    case ColumnType::kLong:
      return std::to_string(*row.Integer(column));
    case ColumnType::kCurrency:
      return TrimmedCurrency(*row.Currency(column));
    case ColumnType::kSingle:
      return FormatNumber(*row.Floating(column), 7);
    case ColumnType::kDouble:
      return FormatNumber(*row.Floating(column), 15);
    case ColumnType::kDateTime:
      return FormatDateTime(*row.Floating(column));
    case ColumnType::kGuid:
      return *row.Guid(column);
    case ColumnType::kNumeric:
      return row.Numeric(column)->ToString();
    default:
      Mismatch(column, "text");
  }
}

std::string Cursor::Text(const Column& column, int code_page) const {
  return EncodeText(Units(column), code_page);
}

std::int64_t Cursor::Integer(const Column& column) const {
  const Row& row = CurrentRow();
  if (IsNull(column)) return 0;
  switch (column.type) {
    case ColumnType::kBoolean:
      return *row.Boolean(column) ? -1 : 0;
    case ColumnType::kByte:
    case ColumnType::kInteger:
    case ColumnType::kLong:
      return *row.Integer(column);
    case ColumnType::kCurrency: {
      // Round to the nearest whole amount, halves to even, in exact integer arithmetic.
      const std::int64_t amount = *row.Currency(column);
      std::int64_t whole = amount / 10000;
      const std::int64_t rest = amount % 10000;
      if (rest > 5000 || (rest == 5000 && whole % 2 != 0)) ++whole;
      if (rest < -5000 || (rest == -5000 && whole % 2 != 0)) --whole;
      return whole;
    }
    case ColumnType::kText:
    case ColumnType::kMemo: {
      std::int64_t value = 0;
      if (!ParseNumber(Text(column), value)) Mismatch(column, "an integer");
      return value;
    }
    default:
      return RoundToInteger(column, Double(column));
  }
}

double Cursor::Double(const Column& column) const {
  const Row& row = CurrentRow();
  if (IsNull(column)) return 0.0;
  switch (column.type) {
    case ColumnType::kBoolean:
    case ColumnType::kByte:
    case ColumnType::kInteger:
    case ColumnType::kLong:
      return static_cast<double>(Integer(column));
    case ColumnType::kCurrency:
      return static_cast<double>(*row.Currency(column)) / 10000.0;
    case ColumnType::kSingle:
    case ColumnType::kDouble:
    case ColumnType::kDateTime:
      return *row.Floating(column);
    case ColumnType::kNumeric:
      return row.Numeric(column)->ToDouble();
    case ColumnType::kText:
    case ColumnType::kMemo: {
      double value = 0;
      if (!ParseNumber(Text(column), value)) Mismatch(column, "a number");
      return value;
    }
    default:
      Mismatch(column, "a number");
  }
}

double Cursor::DateTime(const Column& column) const {
  if (column.type == ColumnType::kText || column.type == ColumnType::kMemo) {
    Mismatch(column, "a date");
  }
  return Double(column);
}

bool Cursor::Boolean(const Column& column) const {
  if (column.type == ColumnType::kBoolean) return CurrentRow().Boolean(column).value_or(false);
  if (column.type == ColumnType::kText || column.type == ColumnType::kMemo) {
    const std::string text = Text(column);
    if (text.empty()) return false;
    if (SameName(text, "True") || SameName(text, "Yes")) return true;
    if (SameName(text, "False") || SameName(text, "No")) return false;
  }
  return Double(column) != 0.0;
}

std::vector<std::uint8_t> Cursor::Bytes(const Column& column) const {
  const Row& row = CurrentRow();
  switch (column.type) {
    case ColumnType::kOle:
    case ColumnType::kMemo:
      return row.LongValue(*pager_, column).value_or(std::vector<std::uint8_t>{});
    case ColumnType::kBinary: {
      const auto bytes = row.Bytes(column);
      return {bytes.begin(), bytes.end()};
    }
    default:
      Mismatch(column, "bytes");
  }
}

Table::Table(Pager& pager, std::string name, std::shared_ptr<const TableDef> definition)
    : pager_(&pager), name_(std::move(name)), definition_(std::move(definition)) {}

const Column* Table::FindColumn(const std::string& name) const {
  return definition_->FindIgnoringCase(name);
}

const Column& Table::GetColumn(const std::string& name) const {
  const Column* column = FindColumn(name);
  if (column == nullptr) {
    // The text Windows database programs show for a missing column.
    throw Error(
        "Item cannot be found in the collection corresponding to the requested name "
        "or ordinal. (table '" +
        name_ + "', column '" + name + "')");
  }
  return *column;
}

const IndexDef* Table::FindIndex(const std::string& name) const {
  for (const IndexDef& index : definition_->indexes) {
    if (SameName(index.name, name)) return &index;
  }
  return nullptr;
}

Cursor Table::Rows() const {
  return Cursor(*pager_, definition_, std::make_unique<TableScan>(*pager_, *definition_));
}

Cursor Table::RowsInIndex(const std::string& index_name) const {
  const IndexDef* index = FindIndex(index_name);
  if (index == nullptr) {
    throw Error("Table '" + name_ + "' has no index named '" + index_name + "'.");
  }
  return RowsInIndex(*index);
}

Cursor Table::RowsOrderedBy(const Column& column) const {
  for (const IndexDef& index : definition_->indexes) {
    if (index.columns.size() == 1 && index.columns[0].column_number == column.number &&
        index.columns[0].ascending && !index.IgnoreNulls()) {
      return RowsInIndex(index);
    }
  }
  const bool text = column.type == ColumnType::kText || column.type == ColumnType::kMemo ||
                    column.type == ColumnType::kGuid;
  std::vector<std::pair<SortKey, std::uint32_t>> keys;
  for (Cursor rows = Rows(); rows.Next();) {
    SortKey key;
    key.present = !rows.IsNull(column);
    if (key.present && text) key.text = FoldCase(rows.Text(column));
    if (key.present && !text) key.number = rows.Double(column);
    if (std::isnan(key.number)) key.number = -HUGE_VAL;  // keeps the order strict
    keys.emplace_back(std::move(key), rows.RowPointer());
  }
  std::stable_sort(keys.begin(), keys.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::uint32_t> pointers;
  pointers.reserve(keys.size());
  for (const auto& key : keys) pointers.push_back(key.second);
  return Cursor(*pager_, definition_, std::make_unique<PointerList>(*pager_, std::move(pointers)));
}

Cursor Table::RowsInIndex(const IndexDef& index) const {
  return Cursor(*pager_, definition_, std::make_unique<IndexScan>(*pager_, *definition_, index));
}

}  // namespace jetdb
