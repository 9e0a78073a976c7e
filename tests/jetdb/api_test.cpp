// The public interface: tables and columns by name, typed values with the null conventions,
// long values, index order, and read-only opening.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <tuple>

#include "jetdb/jetdb.h"
#include "test_files.h"
#include "tests/support/scoped_trace.h"

namespace {

using jetdb::Access;
using jetdb::Cursor;
using jetdb::Database;
using jetdb::Error;
using jetdb::Table;
using jetdb_test::ReadAll;
using jetdb_test::ReadEverything;
using jetdb_test::ScratchFile;
using jetdb_test::TestData;

void ExpectError(const std::function<void()>& action, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no error; expected: " << message;
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()), message);
  }
}

// Moves rows until column holds value (compared as text).
void SeekTo(Cursor& rows, const jetdb::Column& column, const std::string& value) {
  while (rows.Next()) {
    if (rows.Text(column) == value) return;
  }
  FAIL() << "no row with " << column.name << " = " << value;
}

TEST(Api, TablesAndColumnsAreFoundWithoutRegardToCase) {
  auto database = Database::Open(TestData("northwind.mdb"));
  EXPECT_EQ(
      database->TableNames(),
      (std::vector<std::string>{"Categories", "Customers", "Employees", "Order Details", "Orders",
                                "Paste Errors", "Products", "Shippers", "Suppliers"}));
  const Table table = database->OpenTable("ORDER details");
  EXPECT_EQ(table.Name(), "Order Details");
  EXPECT_EQ(table.RowCount(), 2155u);
  EXPECT_EQ(&table.GetColumn("unitprice"), table.FindColumn("UnitPrice"));
  EXPECT_EQ(table.GetColumn("UNITPRICE").name, "UnitPrice");
  EXPECT_EQ(table.FindColumn("UnitPrices"), nullptr);
  EXPECT_THROW(table.GetColumn("gage_id"), Error);

  ExpectError([&] { database->OpenTable("GageMaster"); },
              "The Microsoft Jet database engine cannot find the input table or query "
              "'GageMaster'.  Make sure it exists and that its name is spelled correctly.");
  // System tables are not user tables.
  EXPECT_THROW(database->OpenTable("MSysObjects"), Error);
}

TEST(Api, ValuesOfEveryKindAndTheNullConventions) {
  auto database = Database::Open(TestData("northwind.mdb"));
  const Table employees = database->OpenTable("Employees");
  const auto& id = employees.GetColumn("EmployeeID");
  const auto& reports_to = employees.GetColumn("ReportsTo");
  const auto& birth = employees.GetColumn("BirthDate");
  const auto& region = employees.GetColumn("Region");
  Cursor rows = employees.Rows();
  SeekTo(rows, id, "2");
  EXPECT_EQ(rows.Text(birth), "1952-02-19 00:00:00");
  EXPECT_EQ(rows.DateTime(birth), 19043.0);
  EXPECT_TRUE(rows.IsNull(reports_to));  // Fuller reports to nobody
  EXPECT_EQ(rows.Integer(reports_to), 0);
  EXPECT_EQ(rows.Double(reports_to), 0.0);
  EXPECT_EQ(rows.Text(reports_to), "");
  EXPECT_FALSE(rows.Boolean(reports_to));
  SeekTo(rows, id, "5");
  EXPECT_TRUE(rows.IsNull(region));
  EXPECT_EQ(rows.Text(region), "");
  EXPECT_EQ(rows.Integer(reports_to), 2);

  const Table orders = database->OpenTable("Orders");
  const auto& shipped = orders.GetColumn("ShippedDate");
  const auto& freight = orders.GetColumn("Freight");
  int null_dates = 0;
  for (Cursor order = orders.Rows(); order.Next();) {
    if (order.IsNull(shipped)) {
      ++null_dates;
      EXPECT_EQ(order.DateTime(shipped), 0.0);  // a missing date is not greater than 0
    }
    if (order.Text(orders.GetColumn("OrderID")) == "10248") {
      EXPECT_EQ(order.Double(freight), 32.38);  // Currency
      EXPECT_EQ(order.Integer(freight), 32);
      EXPECT_EQ(order.Text(freight), "32.38");
      EXPECT_THROW(order.DateTime(orders.GetColumn("ShipName")), Error);
    }
  }
  EXPECT_EQ(null_dates, 21);

  const Table products = database->OpenTable("Products");
  int discontinued = 0;
  for (Cursor product = products.Rows(); product.Next();) {
    const auto& flag = products.GetColumn("Discontinued");
    discontinued += product.Boolean(flag);
    EXPECT_EQ(product.Integer(flag), product.Boolean(flag) ? -1 : 0);
    EXPECT_EQ(product.Text(flag), product.Boolean(flag) ? "True" : "False");
  }
  EXPECT_EQ(discontinued, 9);

  const Table details = database->OpenTable("Order Details");
  Cursor detail = details.Rows();
  SeekTo(detail, details.GetColumn("Discount"), "0.15");  // a Single: 0.150000006
  EXPECT_FLOAT_EQ(static_cast<float>(detail.Double(details.GetColumn("Discount"))), 0.15f);
  EXPECT_EQ(detail.Integer(details.GetColumn("Discount")), 0);
}

TEST(Api, TextInUtf8OrACodePage) {
  auto database = Database::Open(TestData("northwind.mdb"));
  const Table customers = database->OpenTable("Customers");
  const auto& city = customers.GetColumn("City");
  Cursor rows = customers.Rows();
  SeekTo(rows, customers.GetColumn("CustomerID"), "BERGS");
  EXPECT_EQ(rows.Text(city), "Lule\xC3\xA5");
  EXPECT_EQ(rows.Text(city, 1252), "Lule\xE5");
  EXPECT_EQ(rows.Text(city, 20127), "Lule?");
  EXPECT_EQ(rows.Text(customers.GetColumn("CustomerID"), 1252), "BERGS");
  EXPECT_THROW(rows.Text(city, 932), Error);
}

TEST(Api, LongValuesInlineOnOnePageAndChained) {
  auto database = Database::Open(TestData("northwind.mdb"));
  const Table categories = database->OpenTable("Categories");
  std::map<std::string, std::size_t> picture_sizes;
  std::map<std::string, std::string> descriptions;
  for (Cursor rows = categories.Rows(); rows.Next();) {
    const std::string name = rows.Text(categories.GetColumn("CategoryName"));
    const auto picture = rows.Bytes(categories.GetColumn("Picture"));  // page chains
    ASSERT_GE(picture.size(), 2u);
    EXPECT_EQ(picture[0], 0x15);  // an OLE object header
    picture_sizes[name] = picture.size();
    descriptions[name] = rows.Text(categories.GetColumn("Description"));
    EXPECT_THROW(rows.Text(categories.GetColumn("Picture")), Error);
  }
  EXPECT_EQ(picture_sizes.size(), 8u);
  EXPECT_EQ(picture_sizes["Beverages"], 10746u);
  EXPECT_EQ(descriptions["Beverages"], "Soft drinks, coffees, teas, beers, and ales");
  EXPECT_EQ(descriptions["Dairy Products"], "Cheeses");

  const Table employees = database->OpenTable("Employees");
  Cursor rows = employees.Rows();
  ASSERT_TRUE(rows.Next());
  const std::string notes = rows.Text(employees.GetColumn("Notes"));  // a row of its own
  EXPECT_EQ(notes.substr(0, 24), "Education includes a BA ");
  EXPECT_EQ(notes.substr(notes.size() - 27), "Toastmasters International.");
}

// Jet keeps index entries sorted by key, equal keys by row pointer.
TEST(Api, RowsInIndexOrder) {
  auto database = Database::Open(TestData("northwind.mdb"));
  const Table details = database->OpenTable("Order Details");
  const auto& order_id = details.GetColumn("OrderID");
  const auto& product_id = details.GetColumn("ProductID");
  std::vector<std::pair<std::int64_t, std::int64_t>> keys;
  for (Cursor rows = details.RowsInIndex("primarykey"); rows.Next();) {
    keys.emplace_back(rows.Integer(order_id), rows.Integer(product_id));
  }
  ASSERT_EQ(keys.size(), 2155u);
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end());

  const Table orders = database->OpenTable("Orders");
  std::vector<std::tuple<std::string, std::uint32_t>> by_customer;
  for (Cursor rows = orders.RowsInIndex("CustomerID"); rows.Next();) {
    by_customer.emplace_back(rows.Text(orders.GetColumn("CustomerID")), rows.RowPointer());
  }
  ASSERT_EQ(by_customer.size(), 830u);
  EXPECT_TRUE(std::is_sorted(by_customer.begin(), by_customer.end()));

  // Nulls sort first in an ascending index.
  Cursor shipped = orders.RowsInIndex("ShippedDate");
  double previous = -1;
  for (int i = 0; shipped.Next(); ++i) {
    EXPECT_EQ(shipped.IsNull(orders.GetColumn("ShippedDate")), i < 21);
    const double date = shipped.DateTime(orders.GetColumn("ShippedDate"));
    EXPECT_GE(date, previous);
    previous = date;
  }
  EXPECT_THROW(orders.RowsInIndex("NoSuchIndex"), Error);
}

// What a master/detail link needs: rows ordered by a column, equal values in table order.
TEST(Api, RowsOrderedByAColumnWithOrWithoutAnIndex) {
  auto database = Database::Open(TestData("northwind.mdb"));
  const Table orders = database->OpenTable("Orders");
  for (const char* name : {"EmployeeID", "Freight", "ShipVia", "ShipRegion"}) {
    PELMORA_TRACE(name);
    const auto& column = orders.GetColumn(name);
    // The expected order: a stable sort of the table's order.
    std::vector<std::tuple<bool, double, std::string, std::uint32_t>> expected;
    for (Cursor rows = orders.Rows(); rows.Next();) {
      expected.emplace_back(!rows.IsNull(column), 0.0, "", 0);
      auto& key = expected.back();
      if (column.type == jetdb::ColumnType::kText) {
        std::get<2>(key) = rows.Text(column);
      } else {
        std::get<1>(key) = rows.Double(column);
      }
      std::get<3>(key) = rows.RowPointer();
    }
    std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
      return std::tie(std::get<0>(a), std::get<1>(a), std::get<2>(a)) <
             std::tie(std::get<0>(b), std::get<1>(b), std::get<2>(b));
    });
    std::vector<std::uint32_t> expected_pointers, pointers;
    for (const auto& key : expected) expected_pointers.push_back(std::get<3>(key));
    for (Cursor rows = orders.RowsOrderedBy(column); rows.Next();) {
      pointers.push_back(rows.RowPointer());
    }
    EXPECT_EQ(pointers, expected_pointers);
  }
}

TEST(Api, TwoLevelDescendingIndex) {
  auto database = Database::Open(TestData("compIndexTestV2000.mdb"));
  const Table table = database->OpenTable("Table1");
  ASSERT_EQ(table.Indexes().size(), 1u);
  const auto& index = table.Indexes()[0];
  ASSERT_EQ(index.columns.size(), 1u);
  EXPECT_FALSE(index.columns[0].ascending);
  std::vector<std::int64_t> keys;
  for (Cursor rows = table.RowsInIndex(index); rows.Next();) {
    keys.push_back(rows.Integer(table.GetColumn("CD_AGENTE")));
  }
  ASSERT_EQ(keys.size(), 512u);
  EXPECT_TRUE(std::is_sorted(keys.rbegin(), keys.rend()));
}

TEST(Api, IndexDefinitionsAndFlags) {
  auto database = Database::Open(TestData("testIndexPropertiesV2000.mdb"));
  const Table nulls = database->OpenTable("TableIgnoreNulls1");
  const auto* primary = nulls.FindIndex("PrimaryKey");
  const auto* data = nulls.FindIndex("DataIndex");
  ASSERT_TRUE(primary && data);
  EXPECT_TRUE(primary->PrimaryKey() && primary->Unique() && primary->Required());
  EXPECT_FALSE(primary->IgnoreNulls());
  EXPECT_TRUE(data->IgnoreNulls());
  EXPECT_FALSE(data->Unique() || data->PrimaryKey() || data->Required());
  // An index that ignores nulls has no entries for them.
  std::size_t entries = 0;
  for (Cursor rows = nulls.RowsInIndex(*data); rows.Next(); ++entries) {
    EXPECT_FALSE(rows.IsNull(nulls.GetColumn("data")));
  }
  EXPECT_EQ(entries, 6u);
  EXPECT_EQ(nulls.RowCount(), 10u);

  const Table unique = database->OpenTable("TableUnique2_temp");
  const auto* compound = unique.FindIndex("DataIndex");
  ASSERT_NE(compound, nullptr);
  EXPECT_TRUE(compound->Unique());
  ASSERT_EQ(compound->columns.size(), 2u);
  EXPECT_EQ(unique.Definition().ByNumber(compound->columns[1].column_number)->name, "data2");

  // A foreign key shares the entries of another index.
  auto northwind = Database::Open(TestData("northwind.mdb"));
  const Table orders = northwind->OpenTable("Orders");
  EXPECT_TRUE(orders.FindIndex("CustomersOrders")->ForeignKey());
  EXPECT_EQ(orders.FindIndex("CustomersOrders")->first_page,
            orders.FindIndex("CustomerID")->first_page);
}

TEST(Api, CursorWithoutARowRefusesValues) {
  auto database = Database::Open(TestData("testV2000.mdb"));
  const Table table = database->OpenTable("table1");
  Cursor rows = table.Rows();
  EXPECT_THROW(rows.Text(table.GetColumn("A")), Error);
  int count = 0;
  while (rows.Next()) ++count;
  EXPECT_EQ(count, 2);
  EXPECT_FALSE(rows.HasRow());
  EXPECT_FALSE(rows.Next());
  EXPECT_THROW(rows.Integer(table.GetColumn("E")), Error);

  Cursor empty = database->OpenTable("Table3").Rows();
  EXPECT_FALSE(empty.Next());
}

TEST(Api, ReadOnlyDatabaseIsNeverWritten) {
  const auto original = ReadAll(TestData("northwind.mdb"));
  ScratchFile scratch(original);
  const auto before = std::filesystem::last_write_time(scratch.Path());
  {
    auto database = Database::Open(scratch.Path());
    EXPECT_EQ(database->GetAccess(), Access::kReadOnly);
    ReadEverything(*database);
  }
  EXPECT_EQ(std::filesystem::last_write_time(scratch.Path()), before);
  EXPECT_EQ(ReadAll(scratch.Path()), original);

  // Read-write needs a writable file, and opening alone changes nothing.
  {
    auto database = Database::Open(scratch.Path(), Access::kReadWrite);
    EXPECT_EQ(database->TableNames().size(), 9u);
  }
  EXPECT_EQ(ReadAll(scratch.Path()), original);
  std::filesystem::permissions(scratch.Path(), std::filesystem::perms::owner_read);
  // Root may write the file anyway, also through Wine: then there is no refusal to check.
  const bool writable_anyway = std::ofstream(scratch.Path(), std::ios::app).is_open();
  if (!writable_anyway) {
    EXPECT_THROW(Database::Open(scratch.Path(), Access::kReadWrite), Error);
  }
  EXPECT_EQ(Database::Open(scratch.Path())->TableNames().size(), 9u);
}

TEST(Api, DatabaseInMemoryReadsLikeTheFile) {
  auto file = Database::Open(TestData("testV2000.mdb"));
  auto memory = Database::OpenBytes(ReadAll(TestData("testV2000.mdb")), "copy.mdb");
  EXPECT_EQ(memory->TableNames(), file->TableNames());
  EXPECT_EQ(memory->Path(), "copy.mdb");
  ReadEverything(*memory);
}

}  // namespace
