#include "jetdb/writer.h"

#include <algorithm>
#include <optional>

#include "jetdb/bytes.h"
#include "jetdb/data_page.h"
#include "jetdb/database.h"
#include "jetdb/error.h"
#include "jetdb/index_write.h"
#include "jetdb/long_value.h"
#include "jetdb/row_format.h"
#include "jetdb/storage.h"
#include "jetdb/usage_map.h"

namespace jetdb {

namespace {

constexpr std::size_t kRowCountOffset = 16;
constexpr std::size_t kAutoNumberOffset = 20;
// Long values this short are kept in the row.
constexpr std::size_t kMaxInlineLongValue = 64;
// Memo text longer than this is never compressed.
constexpr std::size_t kMaxCompressedMemo = 1024;
constexpr std::uint32_t kInline = 0x80000000;
constexpr std::uint32_t kSingleRow = 0x40000000;
constexpr std::uint32_t kLengthMask = 0x3FFFFFFF;
constexpr std::size_t kChainLinkSize = 4;
// The largest row a long-value page holds: the page less its header and one row table entry.
constexpr std::size_t kLongValueRowCapacity = 4096 - kDataPageHeaderSize - 2;

bool IsLongValue(const Column& column) {
  return column.type == ColumnType::kMemo || column.type == ColumnType::kOle;
}

}  // namespace

TableWriter::TableWriter(Database& database, std::string name, TableDef definition)
    : database_(database),
      pager_(database.GetPager()),
      name_(std::move(name)),
      definition_(std::move(definition)) {}

std::uint32_t TableWriter::LongValuePage(std::size_t size) {
  if (long_value_page_ != 0) {
    const PageData data = pager_.Read(long_value_page_);
    if (RowFits(*data, size)) return long_value_page_;
  }
  long_value_page_ = TakePage(pager_);
  InitDataPage(pager_.Modify(long_value_page_, rank::kNewPage), kLongValueOwner);
  return long_value_page_;
}

std::vector<std::uint8_t> TableWriter::StoreLongValue(std::span<const std::uint8_t> data) {
  if (data.size() > kLengthMask) throw Error("A long value is larger than Jet allows.");
  std::vector<std::uint8_t> field(kLongValueFieldSize, 0);
  const auto length = static_cast<std::uint32_t>(data.size());
  if (data.size() <= kMaxInlineLongValue) {
    WriteU32(field, 0, length | kInline);
    field.insert(field.end(), data.begin(), data.end());
    return field;
  }
  if (data.size() <= kLongValueRowCapacity) {
    const std::uint32_t page = LongValuePage(data.size());
    const std::uint8_t row = AddRow(pager_.Modify(page, rank::kRowAdded), data);
    WriteU32(field, 0, length | kSingleRow);
    WriteU32(field, 4, (page << 8) | row);
    return field;
  }
  // A chain: each row holds the pointer to the next, then its part; stored last part first so
  // that each row knows where the next one is.
  const std::size_t part = kLongValueRowCapacity - kChainLinkSize;
  std::uint32_t next = 0;
  for (std::size_t start = (data.size() - 1) / part * part;; start -= part) {
    const std::size_t size = std::min(part, data.size() - start);
    std::vector<std::uint8_t> row(kChainLinkSize);
    WriteU32(row, 0, next);
    row.insert(row.end(), data.begin() + static_cast<std::ptrdiff_t>(start),
               data.begin() + static_cast<std::ptrdiff_t>(start + size));
    const std::uint32_t page = LongValuePage(row.size());
    next = (page << 8) | AddRow(pager_.Modify(page, rank::kRowAdded), row);
    if (start == 0) break;
  }
  WriteU32(field, 0, length);
  WriteU32(field, 4, next);
  return field;
}

void TableWriter::ReleaseLongValue(std::span<const std::uint8_t> field) {
  if (field.size() < kLongValueFieldSize) return;
  const std::uint32_t word = ReadU32(field, 0);
  if (word & kInline) return;
  std::uint32_t pointer = ReadU32(field, 4);
  for (std::uint32_t hops = 0; pointer != 0; ++hops) {
    if (hops > pager_.PageCount()) Corrupt("a long value chain loops");
    const LocatedRow row = LocateRow(pager_, pointer);
    if (row.slot.Deleted()) Corrupt("a long value has been removed already");
    const std::uint32_t next = (word & kSingleRow) || row.slot.bytes.size() < kChainLinkSize
                                   ? 0
                                   : ReadU32(row.slot.bytes, 0);
    MarkRowDeleted(pager_.Modify(PointerPage(pointer), rank::kRowRemoved),
                   static_cast<std::uint8_t>(PointerRow(pointer)));
    pointer = next;
  }
}

std::size_t TableWriter::RowsStartOf(std::uint32_t page, std::span<const std::uint8_t> bytes) {
  const std::uint64_t stamp = pager_.Stamp(page);
  if (rows_start_.page != page || rows_start_.stamp != stamp) {
    rows_start_ = {page, stamp, RowsStart(bytes)};
  }
  return rows_start_.start;
}

std::uint32_t TableWriter::PageForRow(std::size_t size) {
  // Pages the free-space map lists, in order; a page that turns out too full leaves the map.
  const std::uint32_t map = definition_.free_space_map;
  for (auto page = FirstMarkedPage(pager_, map, 0); page;
       page = FirstMarkedPage(pager_, map, *page + 1)) {
    {
      const PageData data = pager_.Read(*page);
      if ((*data)[0] == kDataPageType && DataPageOwner(*data) == definition_.page &&
          RowFits(*data, RowsStartOf(*page, *data), size)) {
        return *page;
      }
    }
    SetUsageMapBit(pager_, map, *page, false, rank::kMapsOnAdd);
  }
  const std::uint32_t page = TakePage(pager_);
  InitDataPage(pager_.Modify(page, rank::kNewPage), definition_.page);
  SetUsageMapBit(pager_, definition_.usage_map, page, true, rank::kMapsOnAdd);
  SetUsageMapBit(pager_, definition_.free_space_map, page, true, rank::kMapsOnAdd);
  return page;
}

void TableWriter::WriteCounts() {
  std::vector<std::uint8_t>& page = pager_.Modify(definition_.page, rank::kDefinition);
  WriteU32(page, kRowCountOffset, definition_.row_count);
  WriteU32(page, kAutoNumberOffset, definition_.last_auto_number);
}

std::uint32_t TableWriter::InsertRow(std::span<const Value* const> given,
                                     std::vector<std::uint8_t>* stored_row) {
  if (given.size() != definition_.columns.size()) {
    throw Error("A row for table '" + name_ + "' gives " + std::to_string(given.size()) +
                " values for " + std::to_string(definition_.columns.size()) + " columns.");
  }
  // Convert every value before anything is written.
  std::vector<Field> fields(definition_.columns.size());
  std::vector<std::vector<std::uint8_t>> long_values;  // sized when a column has one
  std::int64_t identity = 0;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const Column& column = definition_.columns[i];
    const Value* value = given[i];
    if ((column.flags & kColumnAutoLong) && column.type == ColumnType::kLong &&
        (value == nullptr || value->IsNull())) {
      if (definition_.last_auto_number >= 0x7FFFFFFFu) {
        throw Error("Table '" + name_ + "' has used up its auto-numbers.");
      }
      identity = definition_.last_auto_number + 1;
      fields[i] = ConvertValue(column, Value::Integer(identity));
      definition_.last_auto_number = static_cast<std::uint32_t>(identity);
      continue;
    }
    if (value == nullptr || value->IsNull()) continue;
    if (IsLongValue(column)) {
      fields[i].null = false;
      long_values.resize(fields.size());
      if (column.type == ColumnType::kOle) {
        if (value->kind != Value::Kind::kBytes) {
          throw Error("Column '" + column.name + "' cannot hold this value: it takes bytes.");
        }
        long_values[i] = value->bytes;
      } else {
        if (value->kind == Value::Kind::kBytes) {
          throw Error("Column '" + column.name + "' cannot hold this value: bytes are not text.");
        }
        const std::u16string units = Utf8ToUtf16(ValueText(*value));
        long_values[i] =
            EncodeTextBytes(units, column.compressed_unicode && units.size() <= kMaxCompressedMemo);
      }
      continue;
    }
    fields[i] = ConvertValue(column, *value);
    if ((column.flags & kColumnAutoLong) && column.type == ColumnType::kLong) {
      const auto number = static_cast<std::int32_t>(ReadU32(fields[i].bytes, 0));
      if (number > 0 && static_cast<std::uint32_t>(number) > definition_.last_auto_number) {
        definition_.last_auto_number = static_cast<std::uint32_t>(number);
      }
    }
  }
  // The row with long values kept in it, to see what its keys are and whether it fits.
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!IsLongValue(definition_.columns[i]) || fields[i].null) continue;
    fields[i].bytes.assign(kLongValueFieldSize, 0);
  }
  std::vector<std::uint8_t> row = EncodeRow(definition_, fields);
  std::size_t long_total = 0;
  for (const auto& bytes : long_values)
    long_total += bytes.size() <= kMaxInlineLongValue ? bytes.size() : 0;
  if (row.size() + long_total > kMaxRowSize) {
    throw Error("The record is too large to fit a page.");
  }
  Row parsed(definition_, row);
  std::vector<std::vector<std::uint8_t>>& keys = keys_;
  IndexKeys(pager_, definition_, parsed, keys);
  CheckUniqueKeys(pager_, definition_, parsed, keys);

  // From here on pages change.
  bool stored_long_values = false;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!IsLongValue(definition_.columns[i]) || fields[i].null) continue;
    fields[i].bytes = StoreLongValue(long_values[i]);
    stored_long_values = true;
  }
  if (stored_long_values) {
    // The row now says where its long values went, and Memo keys come from them.
    row = EncodeRow(definition_, fields);
    parsed = Row(definition_, row);
    IndexKeys(pager_, definition_, parsed, keys);
  }
  const std::uint32_t page = PageForRow(row.size());
  // Known before the page changes: changing it changes its stamp.
  const std::size_t rows_start = RowsStartOf(page, *pager_.Read(page));
  const std::uint8_t number = AddRow(pager_.Modify(page, rank::kRowAdded), rows_start, row);
  rows_start_ = {page, pager_.Stamp(page), rows_start - row.size()};
  const std::uint32_t pointer = (page << 8) | number;
  AddIndexEntries(pager_, definition_, parsed, keys, pointer);
  ++definition_.row_count;
  WriteCounts();
  if (identity != 0) database_.SetLastIdentity(identity);
  if (stored_row != nullptr) *stored_row = std::move(row);
  return pointer;
}

// A post changes only the definition's counters (columns and indexes stay as they are), so
// those are all a refused post has to put back.
struct TableWriter::Counters {
  explicit Counters(const TableWriter& writer)
      : row_count(writer.definition_.row_count),
        last_auto_number(writer.definition_.last_auto_number),
        long_value_page(writer.long_value_page_) {}
  void Restore(TableWriter& writer) const {
    writer.definition_.row_count = row_count;
    writer.definition_.last_auto_number = last_auto_number;
    writer.long_value_page_ = long_value_page;
  }
  std::uint32_t row_count;
  std::uint32_t last_auto_number;
  std::uint32_t long_value_page;
};

std::uint32_t TableWriter::Insert(const RowValues& values) {
  std::vector<const Value*> given(definition_.columns.size(), nullptr);
  for (const auto& [name, value] : values) {
    const Column* column = definition_.FindIgnoringCase(name);
    if (column == nullptr) {
      throw Error(
          "Item cannot be found in the collection corresponding to the requested name "
          "or ordinal. (table '" +
          name_ + "', column '" + name + "')");
    }
    given[column - definition_.columns.data()] = &value;
  }
  return InsertColumns(given);
}

std::uint32_t TableWriter::InsertColumns(std::span<const Value* const> by_column,
                                         std::vector<std::uint8_t>* stored_row) {
  const Counters saved(*this);
  try {
    const std::uint32_t pointer = InsertRow(by_column, stored_row);
    pager_.Flush();
    return pointer;
  } catch (...) {
    pager_.Discard();
    saved.Restore(*this);
    throw;
  }
}

void TableWriter::Delete(std::uint32_t pointer) {
  const Counters saved(*this);
  try {
    std::vector<std::uint8_t> bytes;
    std::optional<std::uint32_t> moved;  // where the row's bytes went, if it moved
    {
      // Pages are let go before they change, or the pager would copy them for us to keep.
      const LocatedRow located = LocateRow(pager_, pointer);
      if (DataPageOwner(*located.page) != definition_.page || located.slot.Deleted()) {
        throw Error("The row to delete is not a row of table '" + name_ + "'.");
      }
      const LocatedRow stored = FollowOverflow(pager_, located);
      bytes.assign(stored.slot.bytes.begin(), stored.slot.bytes.end());
      if (located.slot.Overflow()) moved = ReadU32(located.slot.bytes, 0);
    }
    const Row row(definition_, bytes);
    RemoveIndexEntries(pager_, definition_, row, pointer);
    for (const Column& column : definition_.columns) {
      if (IsLongValue(column) && !row.IsNull(column)) ReleaseLongValue(row.Bytes(column));
    }
    if (moved) {
      MarkRowDeleted(pager_.Modify(PointerPage(*moved), rank::kRowRemoved),
                     static_cast<std::uint8_t>(PointerRow(*moved)));
    }
    MarkRowDeleted(pager_.Modify(PointerPage(pointer), rank::kRowRemoved),
                   static_cast<std::uint8_t>(PointerRow(pointer)));
    if (definition_.row_count > 0) --definition_.row_count;
    WriteCounts();
    pager_.Flush();
  } catch (...) {
    pager_.Discard();
    saved.Restore(*this);
    throw;
  }
}

}  // namespace jetdb
