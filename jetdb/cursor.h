// Tables and cursors: the rows of an open table in its own order or in the order of one of its
// indexes, read through typed accessors that give a null value as the empty text, 0, 0.0,
// date 0 and false.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jetdb/data_page.h"
#include "jetdb/pager.h"
#include "jetdb/table.h"

namespace jetdb {

class RowSource;

// A position in a table's rows. Starts before the first row: call Next() to reach it. The
// database it came from must stay open while it is used.
class Cursor {
 public:
  Cursor(Pager& pager, std::shared_ptr<const TableDef> table, std::unique_ptr<RowSource> source);
  Cursor(Cursor&&) noexcept;
  Cursor& operator=(Cursor&&) noexcept;
  ~Cursor();

  // Moves to the next row; false (and no current row) after the last.
  bool Next();
  bool HasRow() const { return row_.has_value(); }

  // The current row's values. Without a current row these are an Error.
  bool IsNull(const Column& column) const;
  // Text and Memo as they are; numbers, Yes/No ("True"/"False"), dates
  // ("YYYY-MM-DD HH:MM:SS") and Replication IDs as text. OLE and Binary are an Error.
  std::string Text(const Column& column) const;  // UTF-8
  std::string Text(const Column& column, int code_page) const;
  // Whole numbers; Yes/No as -1 and 0 as Jet converts them; floating point rounded to the
  // nearest (halves to even); Text that holds a number. Anything else is an Error.
  std::int64_t Integer(const Column& column) const;
  double Double(const Column& column) const;    // any number type, and Date/Time as its days
  double DateTime(const Column& column) const;  // Date/Time (and numbers) as days since 1899-12-30
  bool Boolean(const Column& column) const;     // Yes/No; numbers are true unless 0
  // The bytes of OLE, Binary and Memo values (Memo as stored, UCS-2 or compressed).
  std::vector<std::uint8_t> Bytes(const Column& column) const;
  // The current row as stored, for exact access to its typed values.
  const Row& CurrentRow() const;
  // The row pointer of the current row where the table lists it (for a moved row, where its
  // pointer stands); index entries name rows by this pointer.
  std::uint32_t RowPointer() const { return pointer_; }

 private:
  std::u16string Units(const Column& column) const;

  Pager* pager_;
  std::shared_ptr<const TableDef> table_;
  std::unique_ptr<RowSource> source_;
  PageData page_;  // keeps the current row's bytes alive
  std::optional<Row> row_;
  std::uint32_t pointer_ = 0;
};

// An open table. The database it came from must stay open while it is used.
class Table {
 public:
  Table(Pager& pager, std::string name, std::shared_ptr<const TableDef> definition);

  const std::string& Name() const { return name_; }
  const std::vector<Column>& Columns() const { return definition_->columns; }
  const std::vector<IndexDef>& Indexes() const { return definition_->indexes; }
  const TableDef& Definition() const { return *definition_; }
  // The row count the table definition keeps.
  std::uint32_t RowCount() const { return definition_->row_count; }

  // The column named name (compared without regard to case): FindColumn gives null when
  // there is none, GetColumn an Error.
  const Column* FindColumn(const std::string& name) const;
  const Column& GetColumn(const std::string& name) const;
  // The index named name (without regard to case), or null.
  const IndexDef* FindIndex(const std::string& name) const;

  // The rows in the table's own order.
  Cursor Rows() const;
  // The rows in the order of an index (an Error when the table has no such index).
  Cursor RowsInIndex(const std::string& index_name) const;
  Cursor RowsInIndex(const IndexDef& index) const;
  // The rows ordered by one column, nulls first, equal values in the table's own order: through
  // a single-column ascending index that holds every row when there is one, else by sorting
  // (text then compares without regard to case, not in Jet's full collation).
  Cursor RowsOrderedBy(const Column& column) const;

 private:
  Pager* pager_;
  std::string name_;
  std::shared_ptr<const TableDef> definition_;
};

}  // namespace jetdb
