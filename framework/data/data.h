// Data-access components over the Jet engine, shaped like the program's database layer expects
// them: a connection names an Access database through a connection string; tables and queries
// are data sets with a client-side cursor (all rows read when opened, so record counts are
// exact); fields read with the null conventions (empty text, 0, 0.0, date 0, false) and write
// into the row being inserted; a table may follow a master table through a data source.
//
// Every failure is a framework::EDatabaseError whose message names what failed and where: the
// data set and column, the table and file, or the file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace jetdb {
class Database;
class TableWriter;
}  // namespace jetdb

namespace framework::data {

class DataSet;
struct Cell;

enum class ConnectMode {
  kReadWrite,  // read and write; other programs may read and write too
  kReadOnly,   // the file is never written; other programs may read and write it
};

class Connection {
 public:
  explicit Connection(std::string name);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const std::string& Name() const { return name_; }

  // Takes effect at the next Connect. Only "Data Source" (the database file) is used; the
  // other parts are kept as the record of what the connection names.
  void SetConnectionString(std::wstring text) { connection_string_ = std::move(text); }
  const std::wstring& ConnectionString() const { return connection_string_; }
  // The "Data Source" part of the connection string (empty when it has none).
  std::wstring DataSource() const;
  void SetMode(ConnectMode mode) { mode_ = mode; }
  ConnectMode Mode() const { return mode_; }

  // Opens the database the connection string names. A file that is missing or cannot be
  // opened (locked, access denied) leaves the connection not connected; a file that opens but
  // is no Jet 4 database raises EDatabaseError naming the file. Connecting a connected
  // connection does nothing.
  void Connect();
  // Closes every data set of the connection, then the database; nothing when not connected.
  void Disconnect();
  bool Connected() const { return database_ != nullptr; }
  // The open database (null when not connected).
  jetdb::Database* Database() const { return database_.get(); }

 private:
  friend class DataSet;
  friend class Table;
  void Attach(DataSet* data_set);
  void Detach(DataSet* data_set);
  // The writer of a table, shared by the connection's data sets so that their posts count
  // rows and auto-numbers together; opened on the first write.
  jetdb::TableWriter& Writer(const std::string& table);

  std::string name_;
  std::wstring connection_string_;
  ConnectMode mode_ = ConnectMode::kReadWrite;
  std::unique_ptr<jetdb::Database> database_;
  std::vector<std::unique_ptr<jetdb::TableWriter>> writers_;  // go before the database
  std::vector<DataSet*> data_sets_;
};

// One column of a data set's current row (or of the row being inserted).
class Field {
 public:
  const std::string& FieldName() const { return name_; }
  bool IsNull() const;
  // Reads with the null conventions. Text is UTF-8; numbers, Yes/No and dates read as text the
  // way the engine shows them. A value that cannot be read as the type asked for raises
  // EDatabaseError naming the data set and the field.
  std::string AsString() const;
  std::int32_t AsInteger() const;
  double AsFloat() const;
  double AsDateTime() const;  // days since 30 December 1899, the fraction the time of day
  bool AsBoolean() const;
  // Writes into the row being inserted (EDatabaseError when the data set is not inserting).
  // The value is converted to the column's type when the row is posted.
  void SetAsString(const std::string& utf8);
  void SetAsInteger(std::int32_t value);
  void SetAsFloat(double value);
  void SetAsDateTime(double days);
  void SetAsBoolean(bool value);
  void Clear();  // null

 private:
  friend class DataSet;
  Field(DataSet& owner, std::string name, std::size_t index)
      : owner_(&owner), name_(std::move(name)), index_(index) {}
  void Write(Cell cell);

  DataSet* owner_;
  std::string name_;
  std::size_t index_;  // the column's position in the data set's rows
};

// A data set: rows read in full when opened, a current row, and (for tables) insert, post and
// delete. Starts closed.
class DataSet {
 public:
  explicit DataSet(std::string name);
  virtual ~DataSet();
  DataSet(const DataSet&) = delete;
  DataSet& operator=(const DataSet&) = delete;

  const std::string& Name() const { return name_; }
  void SetConnection(Connection* connection);
  Connection* GetConnection() const { return connection_; }

  // Reads the rows (EDatabaseError when the connection is not connected or the source is
  // missing); the first row is current. Opening an open data set does nothing.
  void Open();
  // Drops the rows and any row being inserted; nothing when closed.
  void Close();
  bool Active() const { return active_; }

  void First();
  void Next();
  // True on an empty data set and after moving past the last row.
  bool Eof() const;
  // The exact number of rows (for a detail table: of the current master row).
  int RecordCount() const;

  // The field named name (compared without regard to case): FindField gives null when there
  // is none, FieldByName raises EDatabaseError "<data set>: Field '<name>' not found".
  Field& FieldByName(const std::string& name);
  Field* FindField(const std::string& name);

  // Starts a new blank row; fields then write into it.
  void Insert();
  bool Inserting() const;
  // Stores the new row; auto-number keys are assigned here. The stored row becomes current.
  void Post();
  // Drops the new row without storing it.
  void Cancel();
  // Removes the current row; the following row becomes current (Eof when none is left).
  void Delete();

  // Called after each successful Post, with the stored row current where it is shown.
  std::function<void(DataSet&)> AfterPost;

 protected:
  // Fills the data set's columns and records from its source; called by Open.
  virtual void Load() = 0;
  // Stores the row being inserted and adds it as a new record (as stored, auto-number
  // included), returning the record; data sets that cannot raise EDatabaseError.
  virtual std::size_t StoreRow();
  virtual void RemoveRow(std::uint32_t pointer);

  struct State;
  std::unique_ptr<State> state_;

 private:
  friend class Connection;
  friend class Field;
  friend class Table;

  std::string name_;
  Connection* connection_ = nullptr;
  bool active_ = false;
};

// Points detail tables at their master data set.
class DataSource {
 public:
  explicit DataSource(std::string name) : name_(std::move(name)) {}
  const std::string& Name() const { return name_; }
  void SetDataSet(DataSet* data_set) { data_set_ = data_set; }
  DataSet* GetDataSet() const { return data_set_; }

 private:
  std::string name_;
  DataSet* data_set_ = nullptr;
};

// A whole table of the connection's database.
class Table : public DataSet {
 public:
  using DataSet::DataSet;
  ~Table() override;

  void SetTableName(std::string name);
  const std::string& TableName() const { return table_name_; }

  // Rows come ordered by this column (nulls first, equal values in the table's own order);
  // empty for the table's own order. Setting it on an open table reorders the rows and makes
  // the first one current.
  void SetIndexFieldNames(const std::string& column);
  const std::string& IndexFieldNames() const;

  // Master/detail: the table presents only the rows whose column MasterFields equals the same
  // column of the master data set's current row, and follows every move of the master. The
  // rows are grouped once when the table opens, not re-read per master row.
  void SetMasterSource(DataSource* source);
  void SetMasterFields(const std::string& column);

 protected:
  void Load() override;
  std::size_t StoreRow() override;
  void RemoveRow(std::uint32_t pointer) override;

 private:
  // Applies changed settings to an open table.
  void Rearrange();
  jetdb::TableWriter& Writer();

  std::string table_name_;
};

// A query on the connection's database: the one statement the engine answers,
// "select @@IDENTITY as ID_NUMBER", giving one row with one column.
class Query : public DataSet {
 public:
  using DataSet::DataSet;
  void SetSql(std::string sql) { sql_ = std::move(sql); }
  const std::string& Sql() const { return sql_; }

 protected:
  void Load() override;

 private:
  std::string sql_;
};

}  // namespace framework::data
