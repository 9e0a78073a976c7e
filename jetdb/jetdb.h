// The public interface of the Jet 4 database engine: open a database, list and open its
// tables, read their rows in the table's order or an index's order, and (opened for writing)
// insert and delete rows, keeping every index in step. Every failure is a jetdb::Error
// carrying a message meant for the user. README.md says what a post writes, which key
// encodings are checked against Access data, and what is not supported (relationships are
// not enforced; there is no multi-user locking: one writer, any number of readers).
//
//   auto database = jetdb::Database::Open(path);            // read-only
//   jetdb::Table table = database->OpenTable("gagemaster");  // names ignore case
//   const jetdb::Column& name = table.GetColumn("GageDescription");
//   for (jetdb::Cursor rows = table.Rows(); rows.Next();) use(rows.Text(name));
//
//   auto target = jetdb::Database::Open(path, jetdb::Access::kReadWrite);
//   jetdb::TableWriter gauges = target->OpenWriter("GageMaster");
//   gauges.Insert({{"GageDescription", jetdb::Value::Text("Caliper")}});
//   std::int64_t key = target->Query("select @@IDENTITY as ID_NUMBER").value;
#pragma once

#include "jetdb/cursor.h"
#include "jetdb/database.h"
#include "jetdb/error.h"
#include "jetdb/table.h"
#include "jetdb/value.h"
#include "jetdb/values.h"
#include "jetdb/writer.h"
