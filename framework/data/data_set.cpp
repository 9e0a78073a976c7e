#include <algorithm>
#include <limits>

#include "framework/data/state.h"

namespace framework::data {

// ---- Field ----

bool Field::IsNull() const {
  return DataSet::State::FieldCell(*owner_, index_).kind == Cell::Kind::kNull;
}

namespace {

template <typename Read>
auto ReadField(const DataSet& owner, const std::string& field, const Cell& cell, Read read,
               const char* wanted) {
  try {
    if (auto value = read(cell)) return std::move(*value);
  } catch (const jetdb::Error& error) {
    throw EDatabaseError(owner.Name() + ": Field '" + field + "': " + error.what());
  }
  throw EDatabaseError(owner.Name() + ": Field '" + field + "' cannot be read as " + wanted);
}

}  // namespace

std::string Field::AsString() const {
  return ReadField(*owner_, name_, DataSet::State::FieldCell(*owner_, index_), CellText, "text");
}

std::int32_t Field::AsInteger() const {
  const std::int64_t value = ReadField(*owner_, name_, DataSet::State::FieldCell(*owner_, index_),
                                       CellInteger, "an integer");
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    throw EDatabaseError(owner_->Name() + ": Field '" + name_ + "' value " + std::to_string(value) +
                         " is out of range for an integer");
  }
  return static_cast<std::int32_t>(value);
}

double Field::AsFloat() const {
  return ReadField(*owner_, name_, DataSet::State::FieldCell(*owner_, index_), CellNumber,
                   "a number");
}

double Field::AsDateTime() const {
  return ReadField(*owner_, name_, DataSet::State::FieldCell(*owner_, index_), CellDateTime,
                   "a date");
}

bool Field::AsBoolean() const {
  return ReadField(*owner_, name_, DataSet::State::FieldCell(*owner_, index_), CellBoolean,
                   "a Yes/No value");
}

namespace {

Cell IntegerCell(Cell::Kind kind, std::int64_t value) {
  Cell cell;
  cell.kind = kind;
  cell.integer = value;
  return cell;
}

Cell NumberCell(Cell::Kind kind, double value) {
  Cell cell;
  cell.kind = kind;
  cell.number = value;
  return cell;
}

}  // namespace

void Field::SetAsString(const std::string& utf8) {
  Cell cell;
  cell.kind = Cell::Kind::kText;
  cell.text = utf8;
  Write(std::move(cell));
}
void Field::SetAsInteger(std::int32_t value) { Write(IntegerCell(Cell::Kind::kInteger, value)); }
void Field::SetAsFloat(double value) { Write(NumberCell(Cell::Kind::kDouble, value)); }
void Field::SetAsDateTime(double days) { Write(NumberCell(Cell::Kind::kDateTime, days)); }
void Field::SetAsBoolean(bool value) { Write(IntegerCell(Cell::Kind::kBoolean, value ? 1 : 0)); }
void Field::Clear() { Write(Cell{}); }

void Field::Write(Cell cell) {
  DataSet::State& state = *owner_->state_;
  if (!state.inserting) {
    DataSet::State::Fail(*owner_, "Field '" + name_ + "' cannot be changed: not inserting");
  }
  state.pending[index_] = std::move(cell);
}

// ---- State ----

void DataSet::State::Fail(const DataSet& set, const std::string& text) {
  throw EDatabaseError(set.Name() + ": " + text);
}

void DataSet::State::FieldNotFound(const DataSet& set, const std::string& name) {
  Fail(set, "Field '" + name + "' not found");
}

std::size_t DataSet::State::ColumnIndex(const DataSet& set, const std::string& name) {
  const State& state = *set.state_;
  const jetdb::Column* column = jetdb::FindColumn(state.columns, name);
  return column == nullptr ? kNoColumn : static_cast<std::size_t>(column - state.columns.data());
}

const Cell& DataSet::State::FieldCell(const DataSet& set, std::size_t column) {
  static const Cell kNull{};
  const State& state = *set.state_;
  if (state.inserting) return state.pending[column];
  if (!set.active_ || state.AtEnd()) return kNull;
  return state.cells[state.Current() * state.columns.size() + column];
}

std::unique_ptr<DataSet::State> DataSet::State::Make() {
  std::unique_ptr<State> state(spare.exchange(nullptr));
  return state ? std::move(state) : std::make_unique<State>();
}

void DataSet::State::Recycle(std::unique_ptr<State> state) {
  State& s = *state;
  // The buffers of a large table are let go rather than held for a small data set.
  constexpr std::size_t kSmall = 256;
  if (s.cells.capacity() > kSmall || s.rows.capacity() > kSmall) return;
  // Closing emptied the records and unlinking left no master; what is left to make it new are
  // the settings and the details. The counter of opens goes on, so that no detail can mistake
  // one open for another, and the post's buffers are scratch and stay.
  s.index_field_names.clear();
  s.master_fields.clear();
  s.master_source = nullptr;
  s.master_generation = 0;
  s.details.clear();
  // One spare is enough for a data set made and dropped again and again; a second one goes.
  delete spare.exchange(state.release());
}

void DataSet::State::Unfollow(DataSet& set) {
  State& state = *set.state_;
  if (state.master != nullptr) {
    auto& details = state.master->state_->details;
    details.erase(std::remove(details.begin(), details.end(), &set), details.end());
  }
  state.master = nullptr;
  state.master_column = kNoColumn;
}

void DataSet::State::Arrange(DataSet& set) {
  State& state = *set.state_;
  state.inserting = false;
  state.pending.clear();
  state.view = &state.empty;  // the groups are rebuilt below
  state.position = 0;

  std::vector<std::uint32_t> order = std::move(state.all.records);  // its buffer serves again
  order.clear();
  order.reserve(state.rows.size());
  for (std::uint32_t record = 0; record < state.rows.size(); ++record) {
    if (!state.rows[record].deleted) order.push_back(record);
  }
  if (!state.index_field_names.empty()) {
    const std::size_t column = ColumnIndex(set, state.index_field_names);
    if (column == kNoColumn) FieldNotFound(set, state.index_field_names);
    std::vector<SortKey> keys(state.rows.size());
    for (std::uint32_t record : order) keys[record] = MakeSortKey(state.At(record, column));
    std::stable_sort(order.begin(), order.end(),
                     [&keys](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
  }
  state.all.live = order.size();
  state.all.records = std::move(order);

  Unfollow(set);
  state.groups.clear();
  state.link_column = kNoColumn;
  DataSet* master = state.master_source != nullptr ? state.master_source->GetDataSet() : nullptr;
  if (master != nullptr && master != &set && !state.master_fields.empty()) {
    state.link_column = ColumnIndex(set, state.master_fields);
    if (state.link_column == kNoColumn) FieldNotFound(set, state.master_fields);
    for (std::uint32_t record : state.all.records) {
      if (auto key = LinkKey(state.At(record, state.link_column))) {
        View& group = state.groups[*key];
        group.records.push_back(record);
        ++group.live;
      }
    }
    state.master = master;
    state.master_generation = 0;
    master->state_->details.push_back(&set);
  }
  Follow(set);
}

View* DataSet::State::MasterView(DataSet& set) {
  State& state = *set.state_;
  if (state.link_column == kNoColumn) return &state.all;
  DataSet* master = state.master;
  if (master == nullptr || !master->active_) return &state.empty;
  State& master_state = *master->state_;
  if (state.master_column == kNoColumn || state.master_generation != master_state.generation) {
    state.master_column = ColumnIndex(*master, state.master_fields);
    if (state.master_column == kNoColumn) FieldNotFound(*master, state.master_fields);
    state.master_generation = master_state.generation;
  }
  if (!master_state.inserting && master_state.AtEnd()) return &state.empty;
  const auto key = LinkKey(FieldCell(*master, state.master_column));
  if (!key) return &state.empty;
  const auto group = state.groups.find(*key);
  return group == state.groups.end() ? &state.empty : &group->second;
}

void DataSet::State::Follow(DataSet& set) {
  State& state = *set.state_;
  state.view = &state.empty;  // stays so if the master cannot be followed
  state.position = 0;
  state.view = MasterView(set);
  state.SkipDeleted();
  Notify(set);
}

void DataSet::State::Notify(DataSet& set) {
  State& state = *set.state_;
  if (state.details.empty()) return;
  const std::vector<DataSet*> details = state.details;
  for (DataSet* detail : details) {
    if (detail->active_) Follow(*detail);
  }
}

// ---- DataSet ----

DataSet::DataSet(std::string name) : state_(State::Make()), name_(std::move(name)) {}

DataSet::~DataSet() {
  Close();
  State::Unfollow(*this);
  for (DataSet* detail : state_->details) {
    State& detail_state = *detail->state_;
    detail_state.master = nullptr;
    detail_state.view = &detail_state.empty;
    detail_state.position = 0;
  }
  SetConnection(nullptr);
  State::Recycle(std::move(state_));
}

void DataSet::SetConnection(Connection* connection) {
  if (connection == connection_) return;
  Close();
  if (connection_ != nullptr) connection_->Detach(this);
  connection_ = connection;
  if (connection_ != nullptr) connection_->Attach(this);
}

void DataSet::Open() {
  if (active_) return;
  if (connection_ == nullptr) State::Fail(*this, "No connection is set");
  if (!connection_->Connected()) {
    State::Fail(*this, "Connection '" + connection_->Name() + "' is not connected");
  }
  State& state = *state_;
  try {
    Load();
    for (std::size_t i = 0; i < state.columns.size(); ++i) {
      state.fields.emplace_back(new Field(*this, state.columns[i].name, i));
    }
    ++state.generation;
    active_ = true;
    State::Arrange(*this);
  } catch (const jetdb::Error& error) {
    active_ = true;
    Close();
    State::Fail(*this, error.what());
  } catch (...) {
    active_ = true;
    Close();
    throw;
  }
}

void DataSet::Close() {
  if (!active_) return;
  active_ = false;
  State& state = *state_;
  State::Unfollow(*this);
  state.inserting = false;
  state.pending.clear();
  state.writer = nullptr;
  state.fields.clear();
  state.next_field = 0;
  state.columns.clear();
  state.cells.clear();
  state.rows.clear();
  state.all.records.clear();
  state.all.live = 0;
  state.groups.clear();
  state.link_column = kNoColumn;
  state.view = &state.empty;
  state.position = 0;
  State::Notify(*this);
}

namespace {

void CheckActive(const DataSet& set) {
  if (!set.Active())
    throw EDatabaseError(set.Name() + ": Cannot perform this operation on a closed dataset");
}

}  // namespace

void DataSet::First() {
  CheckActive(*this);
  if (state_->inserting) Post();
  state_->position = 0;
  state_->SkipDeleted();
  State::Notify(*this);
}

void DataSet::Next() {
  CheckActive(*this);
  if (state_->inserting) Post();
  if (state_->AtEnd()) return;
  ++state_->position;
  state_->SkipDeleted();
  State::Notify(*this);
}

bool DataSet::Eof() const { return !active_ || state_->AtEnd(); }

int DataSet::RecordCount() const { return active_ ? static_cast<int>(state_->view->live) : 0; }

Field* DataSet::FindField(const std::string& name) {
  State& state = *state_;
  // Rows are mostly read and written field after field in column order, so the column after
  // the last one found is tried before the search. Fields are made one per column, in order.
  std::size_t column = state.next_field;
  if (column >= state.columns.size() || state.columns[column].name != name) {
    column = State::ColumnIndex(*this, name);
    if (column == kNoColumn) return nullptr;
  }
  state.next_field = column + 1;
  return state.fields[column].get();
}

Field& DataSet::FieldByName(const std::string& name) {
  Field* field = FindField(name);
  if (field == nullptr) State::FieldNotFound(*this, name);
  return *field;
}

void DataSet::Insert() {
  CheckActive(*this);
  State& state = *state_;
  if (state.inserting) Post();
  state.pending.assign(state.columns.size(), Cell{});
  state.inserting = true;
  State::Notify(*this);
}

bool DataSet::Inserting() const { return state_->inserting; }

void DataSet::Post() {
  State& state = *state_;
  if (!state.inserting) return;
  std::uint32_t record = 0;
  try {
    record = static_cast<std::uint32_t>(StoreRow());
  } catch (const jetdb::Error& error) {
    State::Fail(*this, error.what());
  }
  state.inserting = false;
  state.pending.clear();
  state.all.records.push_back(record);
  ++state.all.live;
  if (state.link_column != kNoColumn) {
    if (auto key = LinkKey(state.At(record, state.link_column))) {
      View& group = state.groups[*key];
      group.records.push_back(record);
      ++group.live;
    }
  }
  state.view = State::MasterView(*this);
  // The new row is current where it is shown; a detail row posted for another master row is not.
  const auto& records = state.view->records;
  state.position =
      !records.empty() && records.back() == record ? records.size() - 1 : records.size();
  State::Notify(*this);
  if (AfterPost) AfterPost(*this);
}

void DataSet::Cancel() {
  if (!state_->inserting) return;
  state_->inserting = false;
  state_->pending.clear();
  State::Notify(*this);
}

void DataSet::Delete() {
  CheckActive(*this);
  State& state = *state_;
  if (state.inserting) {
    Cancel();
    return;
  }
  if (state.AtEnd()) State::Fail(*this, "Cannot perform this operation on an empty dataset");
  const std::uint32_t record = state.Current();
  try {
    RemoveRow(state.rows[record].pointer);
  } catch (const jetdb::Error& error) {
    State::Fail(*this, error.what());
  }
  state.rows[record].deleted = true;
  --state.all.live;
  if (state.link_column != kNoColumn) {
    if (auto key = LinkKey(state.At(record, state.link_column))) {
      const auto group = state.groups.find(*key);
      if (group != state.groups.end()) --group->second.live;
    }
  }
  ++state.position;
  state.SkipDeleted();
  State::Notify(*this);
}

std::size_t DataSet::StoreRow() { State::Fail(*this, "The data set cannot be modified"); }

void DataSet::RemoveRow(std::uint32_t) { State::Fail(*this, "The data set cannot be modified"); }

}  // namespace framework::data
