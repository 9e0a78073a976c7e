// What an open data set holds: its columns, every record read (cells in one block), the order
// they are shown in, and for a detail table the records grouped by link value.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "framework/data/cell.h"
#include "framework/data/data.h"
#include "framework/exception.h"

namespace framework::data {

constexpr std::size_t kNoColumn = std::numeric_limits<std::size_t>::max();

// Records in the order they are shown. Deleted records stay in the list (removing them
// from the middle of a long list on every delete would be quadratic) and are skipped.
struct View {
  std::vector<std::uint32_t> records;
  std::size_t live = 0;
};

struct DataSet::State {
  // Settings, kept while closed.
  std::string index_field_names;
  std::string master_fields;
  DataSource* master_source = nullptr;

  // The open data set.
  std::vector<jetdb::Column> columns;
  std::vector<std::unique_ptr<Field>> fields;
  std::size_t next_field = 0;  // the column FindField tries first
  std::vector<Cell> cells;     // record r's column c at r * columns.size() + c
  struct StoredRow {
    std::uint32_t pointer = 0;
    bool deleted = false;
  };
  std::vector<StoredRow> rows;   // each record's row pointer, and whether it was deleted
  std::uint64_t generation = 0;  // counts the opens, for details' cached columns

  View all;  // every record, in the data set's order
  View empty;
  View* view = &all;         // what is shown: all, or the master's group
  std::size_t position = 0;  // in view->records; its end is Eof

  // Detail: the records by link value, and the master they follow.
  std::unordered_map<std::string, View> groups;
  std::size_t link_column = kNoColumn;
  DataSet* master = nullptr;
  std::size_t master_column = kNoColumn;  // in the master, valid for master_generation
  std::uint64_t master_generation = 0;
  std::vector<DataSet*> details;  // the tables following this data set

  bool inserting = false;
  std::vector<Cell> pending;  // the row being inserted
  // What a post hands the writer and gets back, kept so their buffers serve the next post.
  std::vector<jetdb::Value> post_values;
  std::vector<const jetdb::Value*> post_given;
  std::vector<std::uint8_t> stored_row;
  // The connection's writer of a table, looked up on the first write after opening.
  jetdb::TableWriter* writer = nullptr;

  // A state for a new data set: the one a destroyed data set of this thread left, if any.
  // Programs make a query data set for a single read after every post; recycling its state
  // spares the allocation of the state and of every buffer it fills.
  static std::unique_ptr<State> Make();
  // Takes the state of a destroyed data set, closed and unlinked from its master, to serve the
  // next one.
  static void Recycle(std::unique_ptr<State> state);
  static inline std::atomic<State*> spare{nullptr};  // left alone at exit

  // Sorts the records, groups them by link value and shows the first (of the master's group).
  static void Arrange(DataSet& set);
  // Shows the group of the master's current row (or all records), the first one current.
  static void Follow(DataSet& set);
  // Lets the details follow a move of set.
  static void Notify(DataSet& set);
  // Stops following the master.
  static void Unfollow(DataSet& set);
  // The group of the master's current row (empty without one); all records when not a detail.
  static View* MasterView(DataSet& set);
  // The cell a field of set reads: of the row being inserted, else of the current record.
  static const Cell& FieldCell(const DataSet& set, std::size_t column);
  static std::size_t ColumnIndex(const DataSet& set, const std::string& name);
  [[noreturn]] static void Fail(const DataSet& set, const std::string& text);
  [[noreturn]] static void FieldNotFound(const DataSet& set, const std::string& name);

  std::uint32_t AddRecord(std::uint32_t pointer) {
    const auto record = static_cast<std::uint32_t>(rows.size());
    rows.push_back({pointer, false});
    cells.resize(cells.size() + columns.size());
    return record;
  }
  // Takes back the record AddRecord made last.
  void DropLastRecord() {
    rows.pop_back();
    cells.resize(cells.size() - columns.size());
  }
  Cell& At(std::uint32_t record, std::size_t column) {
    return cells[record * columns.size() + column];
  }
  bool AtEnd() const { return position >= view->records.size(); }
  std::uint32_t Current() const { return view->records[position]; }
  // Moves position forward to a record not deleted (or the end).
  void SkipDeleted() {
    while (position < view->records.size() && rows[view->records[position]].deleted) ++position;
  }
};

}  // namespace framework::data
