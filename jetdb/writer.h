// Writing rows: a table opened for writing stores new rows and removes rows, keeping the row
// count, the auto-number counter, the usage maps and every index of the table in step. Each
// call is one post: its pages reach the file before it returns, ordered so that a program that
// dies between posts leaves every earlier post whole; a post that fails (a value the column
// cannot hold, a duplicate key in a unique index) changes nothing.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "jetdb/pager.h"
#include "jetdb/table.h"
#include "jetdb/value.h"

namespace jetdb {

class Database;

using RowValues = std::vector<std::pair<std::string, Value>>;

class TableWriter {
 public:
  TableWriter(Database& database, std::string name, TableDef definition);

  const std::string& Name() const { return name_; }
  const TableDef& Definition() const { return definition_; }

  // Stores a new row. Values are given by column name (without regard to case); columns not
  // named are null, an auto-number column not named gets the next number. Returns the row's
  // pointer. The auto-number given (if any) becomes the database's last identity.
  std::uint32_t Insert(const RowValues& values);
  // The same, with the values given by position: by_column[i] for Definition().columns[i],
  // null pointers for columns not given. When stored_row is given it receives the row's bytes
  // as written (long values stay where they went), so a caller can read back the values as
  // converted and the auto-number given without finding the row on its page again.
  std::uint32_t InsertColumns(std::span<const Value* const> by_column,
                              std::vector<std::uint8_t>* stored_row = nullptr);
  // Removes the row at pointer (as Cursor::RowPointer gives it), with its long values and
  // index entries. A pointer that names no live row of this table is an Error.
  void Delete(std::uint32_t pointer);

 private:
  struct Counters;
  std::uint32_t InsertRow(std::span<const Value* const> given,
                          std::vector<std::uint8_t>* stored_row);
  std::vector<std::uint8_t> StoreLongValue(std::span<const std::uint8_t> data);
  void ReleaseLongValue(std::span<const std::uint8_t> field);
  std::uint32_t PageForRow(std::size_t size);
  std::size_t RowsStartOf(std::uint32_t page, std::span<const std::uint8_t> bytes);
  std::uint32_t LongValuePage(std::size_t size);
  void WriteCounts();

  Database& database_;
  Pager& pager_;
  std::string name_;
  TableDef definition_;
  std::uint32_t long_value_page_ = 0;  // the long-value page last written, 0 for none
  // Where the rows begin on the data page the last row went to, while the page's stamp is
  // unchanged: rows go to that page again and again, and finding out reads its row table.
  struct KnownRowsStart {
    std::uint32_t page = 0;
    std::uint64_t stamp = 0;
    std::size_t start = 0;
  };
  KnownRowsStart rows_start_;
  // The index keys of the row being inserted, their storage kept from post to post.
  std::vector<std::vector<std::uint8_t>> keys_;
};

}  // namespace jetdb
