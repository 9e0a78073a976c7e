// An open Jet 4 database.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "jetdb/cursor.h"
#include "jetdb/header.h"
#include "jetdb/pager.h"

namespace jetdb {

enum class Access {
  kReadOnly,   // the file is never written, not even its lock byte
  kReadWrite,  // opened with write access (others may still read and write it)
};

class Database {
 public:
  // Opens the database at path. A missing file gives Error("Could not find file '<path>'.");
  // a file that is not an unencrypted Jet 4 database gives
  // Error("Unrecognized database format '<path>'.") (or an encryption Error).
  static std::unique_ptr<Database> Open(const std::string& path, Access access = Access::kReadOnly);
  // A database held in memory, named name in messages; read-only.
  static std::unique_ptr<Database> OpenBytes(std::vector<std::uint8_t> bytes,
                                             const std::string& name);

  const std::string& Path() const { return pager_.Path(); }
  Access GetAccess() const { return access_; }
  const Header& GetHeader() const { return header_; }
  Pager& GetPager() { return pager_; }

  // The user tables, sorted by name without regard to case.
  std::vector<std::string> TableNames();
  // The user table named name (without regard to case). A missing table gives the Error that
  // Jet gives.
  Table OpenTable(const std::string& name);

 private:
  Database(Pager pager, Header header, Access access)
      : pager_(std::move(pager)), header_(header), access_(access) {}
  static std::unique_ptr<Database> Start(File file, Access access);

  Pager pager_;
  Header header_;
  Access access_;
};

}  // namespace jetdb
