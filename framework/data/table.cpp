#include "framework/data/state.h"

namespace framework::data {

Table::~Table() = default;

void Table::SetTableName(std::string name) {
  table_name_ = std::move(name);
  state_->writer = nullptr;
}

jetdb::TableWriter& Table::Writer() {
  if (state_->writer == nullptr) state_->writer = &GetConnection()->Writer(table_name_);
  return *state_->writer;
}

const std::string& Table::IndexFieldNames() const { return state_->index_field_names; }

void Table::SetIndexFieldNames(const std::string& column) {
  if (Active() && !column.empty() && State::ColumnIndex(*this, column) == kNoColumn) {
    State::FieldNotFound(*this, column);
  }
  state_->index_field_names = column;
  Rearrange();
}

void Table::SetMasterSource(DataSource* source) {
  state_->master_source = source;
  Rearrange();
}

void Table::SetMasterFields(const std::string& column) {
  state_->master_fields = column;
  Rearrange();
}

void Table::Rearrange() {
  if (!Active()) return;
  try {
    State::Arrange(*this);
  } catch (...) {
    Close();  // as a table that failed to open
    throw;
  }
}

void Table::Load() {
  jetdb::Database& database = *GetConnection()->Database();
  std::optional<jetdb::Table> table;
  try {
    table.emplace(database.OpenTable(table_name_));
  } catch (const jetdb::Error&) {
    const auto names = database.TableNames();
    if (std::none_of(names.begin(), names.end(), [this](const std::string& name) {
          return jetdb::SameName(name, table_name_);
        })) {
      State::Fail(*this, "Table '" + table_name_ + "' not found in '" + database.Path() + "'");
    }
    throw;
  }
  State& state = *state_;
  state.columns = table->Columns();
  const std::size_t count = state.columns.size();
  state.cells.reserve(std::size_t{table->RowCount()} * count);
  state.rows.reserve(table->RowCount());
  jetdb::Pager& pager = database.GetPager();
  for (jetdb::Cursor rows = table->Rows(); rows.Next();) {
    const std::uint32_t record = state.AddRecord(rows.RowPointer());
    const jetdb::Row& row = rows.CurrentRow();
    for (std::size_t column = 0; column < count; ++column) {
      state.At(record, column) = ReadCell(pager, row, state.columns[column]);
    }
  }
}

std::size_t Table::StoreRow() {
  State& state = *state_;
  jetdb::TableWriter& writer = Writer();
  // Columns left null are not given, so an auto-number gets the table's next value.
  const std::size_t count = state.columns.size();
  state.post_values.resize(count);
  state.post_given.assign(count, nullptr);
  for (std::size_t column = 0; column < count; ++column) {
    if (state.pending[column].kind == Cell::Kind::kNull) continue;
    AssignValue(state.post_values[column], state.pending[column]);
    state.post_given[column] = &state.post_values[column];
  }
  const std::uint32_t pointer = writer.InsertColumns(state.post_given, &state.stored_row);

  // The record holds the row as the writer stored it: the values converted to the column
  // types, the key assigned. Cells the writer stores unchanged are taken over; the others are
  // read back first, so that a failing read leaves the row being inserted as it was.
  jetdb::Pager& pager = GetConnection()->Database()->GetPager();
  const jetdb::Row row(writer.Definition(), state.stored_row);
  const std::uint32_t record = state.AddRecord(pointer);
  try {
    for (std::size_t column = 0; column < count; ++column) {
      if (StoredAsGiven(state.pending[column], state.columns[column])) continue;
      state.At(record, column) = ReadCell(pager, row, state.columns[column]);
    }
  } catch (...) {
    state.DropLastRecord();
    throw;
  }
  for (std::size_t column = 0; column < count; ++column) {
    if (StoredAsGiven(state.pending[column], state.columns[column])) {
      state.At(record, column) = std::move(state.pending[column]);
    }
  }
  return record;
}

void Table::RemoveRow(std::uint32_t pointer) { Writer().Delete(pointer); }

void Query::Load() {
  const auto result = GetConnection()->Database()->Query(sql_);
  State& state = *state_;
  jetdb::Column& column = state.columns.emplace_back();
  column.name = result.column;
  column.type = jetdb::ColumnType::kLong;
  const std::uint32_t record = state.AddRecord(0);
  Cell& cell = state.At(record, 0);
  cell.kind = Cell::Kind::kInteger;
  cell.integer = result.value;
}

}  // namespace framework::data
