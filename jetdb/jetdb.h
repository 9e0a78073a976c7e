// The public interface of the Jet 4 database engine: open a database, list and open its
// tables, and read their rows in the table's order or an index's order. Every failure is a
// jetdb::Error carrying a message meant for the user.
//
//   auto database = jetdb::Database::Open(path);            // read-only
//   jetdb::Table table = database->OpenTable("gagemaster");  // names ignore case
//   const jetdb::Column& name = table.GetColumn("GageDescription");
//   for (jetdb::Cursor rows = table.Rows(); rows.Next();) use(rows.Text(name));
#pragma once

#include "jetdb/cursor.h"
#include "jetdb/database.h"
#include "jetdb/error.h"
#include "jetdb/table.h"
#include "jetdb/values.h"
