// An open Jet 4 database.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "jetdb/cursor.h"
#include "jetdb/header.h"
#include "jetdb/pager.h"
#include "jetdb/writer.h"

namespace jetdb {

enum class Access {
  kReadOnly,   // the file is never written, not even its lock byte
  kReadWrite,  // opened with write access (others may still read and write it)
};

class Database {
 public:
  // Opens the database at path (kReadWrite: for writing too, see TableWriter). A missing file gives
  // Error("Could not find file '<path>'."); a file that is not an unencrypted Jet 4 database gives
  // Error("Unrecognized database format '<path>'.") (or an encryption Error).
  static std::unique_ptr<Database> Open(const std::string& path, Access access = Access::kReadOnly);
  // A database held in memory, named name in messages; read-only unless access says otherwise
  // (writes then stay in memory: MemoryBytes gives the result).
  static std::unique_ptr<Database> OpenBytes(std::vector<std::uint8_t> bytes,
                                             const std::string& name,
                                             Access access = Access::kReadOnly);
  std::vector<std::uint8_t> MemoryBytes() const { return pager_.MemoryBytes(); }

  const std::string& Path() const { return pager_.Path(); }
  Access GetAccess() const { return access_; }
  const Header& GetHeader() const { return header_; }
  Pager& GetPager() { return pager_; }

  // The user tables, sorted by name without regard to case.
  std::vector<std::string> TableNames();
  // The user table named name (without regard to case). A missing table gives the Error that
  // Jet gives.
  Table OpenTable(const std::string& name);
  // The user table named name, to add and remove rows. The database must be open for writing
  // and must outlive the writer.
  TableWriter OpenWriter(const std::string& name);

  // The auto-number value the last insert on this database handle gave, 0 before any.
  std::int64_t LastIdentity() const { return last_identity_; }
  void SetLastIdentity(std::int64_t value) { last_identity_ = value; }

  // The one query this engine answers: "select @@IDENTITY as ID_NUMBER" (letter case and
  // blanks free; the column name may be any name or left out). Gives the column's name and
  // the last identity; any other statement is an Error.
  struct QueryResult {
    std::string column;
    std::int64_t value = 0;
  };
  QueryResult Query(const std::string& sql) const;

 private:
  Database(Pager pager, Header header, Access access)
      : pager_(std::move(pager)), header_(header), access_(access) {}
  static std::unique_ptr<Database> Start(File file, Access access);

  Pager pager_;
  Header header_;
  Access access_;
  std::int64_t last_identity_ = 0;
  // The last statement Query parsed and the column it names.
  mutable std::string parsed_sql_;
  mutable std::string parsed_column_;
};

}  // namespace jetdb
