// An open Jet 4 database, read-only.
#pragma once

#include <memory>
#include <string>

#include "jetdb/header.h"
#include "jetdb/pager.h"

namespace jetdb {

class Database {
 public:
  // Opens the database at path for reading. A missing file gives
  // Error("Could not find file '<path>'."); a file that is not an unencrypted Jet 4 database
  // gives Error("Unrecognized database format '<path>'.") (or an encryption Error).
  static std::unique_ptr<Database> Open(const std::string& path);

  const std::string& Path() const { return pager_.Path(); }
  const Header& GetHeader() const { return header_; }
  Pager& GetPager() { return pager_; }

 private:
  Database(Pager pager, Header header) : pager_(std::move(pager)), header_(header) {}

  Pager pager_;
  Header header_;
};

}  // namespace jetdb
