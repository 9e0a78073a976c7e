// A table as CSV in the form mdbtools' mdb-export writes with "-b hex" and the date format
// "%Y-%m-%d %H:%M:%S": a header line of names, text and dates quoted (quotes doubled), binary
// as upper-case hex, nulls empty, Yes/No as 1 and 0.
#pragma once

#include <ostream>

#include "jetdb/jetdb.h"

namespace jetdump {

// One value of the cursor's current row as a CSV field.
std::string CsvField(const jetdb::Cursor& row, const jetdb::Column& column);

// Writes the header line and every row of the cursor.
void WriteCsv(const jetdb::Table& table, jetdb::Cursor rows, std::ostream& out);

}  // namespace jetdump
