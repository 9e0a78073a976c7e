// Creating tables in an existing database: the table definition page with its columns and
// indexes, the usage maps of the table and of each index, an empty root leaf for each index,
// and the table's row in the catalog (MSysObjects) with that table's index entries. The whole
// table is one post: it is created completely or not at all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jetdb/table.h"

namespace jetdb {

class Database;

struct ColumnSpec {
  std::string name;
  ColumnType type = ColumnType::kText;
  std::uint16_t length = 50;  // Text: characters (1 to 255); Binary: bytes; others ignore it
  bool auto_number = false;   // Long only: numbered by the table's counter
};

struct IndexSpec {
  std::string name;
  std::vector<IndexColumn> columns;  // by ColumnSpec position (column_number), 1 to 10
  bool primary_key = false;          // unique and required as well
  bool unique = false;
  bool ignore_nulls = false;
  bool required = false;
};

// Creates the user table name. Errors: a name in use, a bad or repeated column name, a column
// type this engine cannot create, an index over no or missing columns, a definition larger
// than one page.
void CreateTable(Database& database, const std::string& name,
                 const std::vector<ColumnSpec>& columns, const std::vector<IndexSpec>& indexes);

}  // namespace jetdb
