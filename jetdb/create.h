// Creating a new empty database (new_database.cpp) and tables in an existing database. A
// table is its definition page with its columns and indexes, the usage maps of the table and
// of each index, an empty root leaf for each index, and the table's row in the catalog
// (MSysObjects) with that table's index entries. The whole table is one post: it is created
// completely or not at all.
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

// Writes a new empty database at path, as the Jet engine creates one: the system tables
// MSysObjects, MSysACEs, MSysQueries and MSysRelationships with their indexes, the catalog
// rows and the default permissions; Western code page, General sort order, no password. An
// existing file is an Error.
void CreateDatabase(const std::string& path);
// The bytes CreateDatabase writes, for a database created at creation_date (days since
// 1899-12-30) with random_key in the header's random field.
std::vector<std::uint8_t> NewDatabaseBytes(double creation_date, std::uint32_t random_key);

}  // namespace jetdb
