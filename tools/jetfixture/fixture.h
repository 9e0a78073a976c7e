// Builds an Access (Jet 4) database from a short text description: tables, their columns and
// indexes, and rows to store. Used by the jetfixture tool and, in process, by tests that need
// a database of their own (on Windows too).
//
// The description, one statement a line; blank lines and lines starting with '#' are skipped:
//
//   table <name>                        starts a table (new, or one the base has)
//   column <name> <type> [<length>] [auto]
//                                       types: text (length in characters, default 50),
//                                       memo, byte, integer, long, single, double, currency,
//                                       datetime, boolean, ole, binary (length in bytes);
//                                       "auto" makes a long column an auto-number
//   index <name> [primary] [unique] [ignorenulls] [required] : <column> [desc], ...
//   row <value> | <value> | ...         one value per column, in column order; an empty value
//                                       is null (an auto-number then gets the next number).
//                                       Numbers as 12.5, dates as 2024-02-29 or
//                                       2024-02-29 13:45:00, Yes/No as true/false, ole and
//                                       binary as 0x and hex digits; "\|" stands for "|".
//
// Columns and indexes must come before the first row of their table. A table the base
// already has takes rows only. The description is UTF-8.
#pragma once

#include <string>

namespace jetdb {
class Database;
}

namespace jetfixture {

// Writes out_path: a copy of the database base_path (a new empty database when base_path is
// empty or "-") with the description's tables and rows added. Errors are jetdb::Error; one caused
// by a statement starts with
// "<source_name>:<line>: ". out_path is removed after any error.
void BuildDatabase(const std::string& description, const std::string& base_path,
                   const std::string& out_path, const std::string& source_name = "description");

// Adds the description's tables and rows to a database open for writing (errors as above; what
// was stored before the error stays).
void Describe(jetdb::Database& database, const std::string& description,
              const std::string& source_name = "description");

}  // namespace jetfixture
