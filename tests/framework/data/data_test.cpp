// The data-access components on small databases built here: connection states, field reads
// with the null conventions, posts and deletes through the engine, ordering, master/detail.
#include "framework/data/data.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "framework/exception.h"
#include "jetdb/create.h"
#include "jetdb/jetdb.h"
#include "tests/jetdb/test_files.h"
#include "tests/support/scoped_trace.h"

namespace {

using framework::EDatabaseError;
using framework::data::Connection;
using framework::data::ConnectMode;
using framework::data::DataSource;
using framework::data::Query;
using framework::data::Table;
using jetdb::ColumnType;
using jetdb::Value;
using jetdb_test::ReadAll;
using jetdb_test::ScratchFile;

// The message of the EDatabaseError that action raises ("" when it raises none).
template <typename Action>
std::string ErrorOf(Action action) {
  try {
    action();
  } catch (const EDatabaseError& error) {
    return error.Message();
  }
  return "";
}

std::wstring Wide(const std::string& text) { return std::filesystem::path(text).wstring(); }

// A database with a gauge table and a detail table of test points, filled with rows.
class DataTest : public ::testing::Test {
 protected:
  DataTest() : file_(ReadAll(jetdb_test::TestData("adox_jet4.mdb")), "gages.mdb") {
    auto database = jetdb::Database::Open(file_.Path(), jetdb::Access::kReadWrite);
    jetdb::CreateTable(
        *database, "GageMaster",
        {{"GageID", ColumnType::kLong, 0, true}, {"GageDescription", ColumnType::kText}},
        {{"PrimaryKey", {{0, true}}, true}});
    jetdb::CreateTable(*database, "TestPoints",
                       {{"TestPointID", ColumnType::kLong, 0, true},
                        {"GageID", ColumnType::kLong},
                        {"Ordering", ColumnType::kLong},
                        {"Reading", ColumnType::kDouble},
                        {"Note", ColumnType::kMemo},
                        {"Passed", ColumnType::kBoolean},
                        {"Taken", ColumnType::kDateTime},
                        {"Cost", ColumnType::kCurrency},
                        {"Weight", ColumnType::kSingle},
                        {"Label", ColumnType::kText, 20},
                        {"Small", ColumnType::kInteger}},
                       {{"PrimaryKey", {{0, true}}, true}});
  }

  // Adds rows through the engine, before the components connect.
  void AddRows(const std::string& table, const std::vector<jetdb::RowValues>& rows) {
    auto database = jetdb::Database::Open(file_.Path(), jetdb::Access::kReadWrite);
    auto writer = database->OpenWriter(table);
    for (const auto& row : rows) writer.Insert(row);
  }

  void Connect(ConnectMode mode = ConnectMode::kReadWrite) {
    connection_.SetConnectionString(L"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                                    Wide(file_.Path()) + L";Persist Security Info=False");
    connection_.SetMode(mode);
    connection_.Connect();
    ASSERT_TRUE(connection_.Connected());
  }

  void OpenTable(Table& table, const std::string& name) {
    table.SetConnection(&connection_);
    table.SetTableName(name);
    table.Open();
  }

  // The column's values of every row from the current one to Eof, as text.
  static std::vector<std::string> Column(Table& table, const std::string& name) {
    std::vector<std::string> values;
    for (auto& field = table.FieldByName(name); !table.Eof(); table.Next()) {
      values.push_back(field.IsNull() ? "null" : field.AsString());
    }
    return values;
  }

  ScratchFile file_;
  Connection connection_{"Connection"};
};

TEST(ConnectionString, DataSourceIsFoundWhateverTheCaseAndQuoting) {
  Connection connection("c");
  connection.SetConnectionString(
      L"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\x\\old.mdb;Persist Security Info=False");
  EXPECT_EQ(connection.DataSource(), L"C:\\x\\old.mdb");
  connection.SetConnectionString(L"provider=x; DATA SOURCE = C:\\a b\\g.mdb ;Mode=Read");
  EXPECT_EQ(connection.DataSource(), L"C:\\a b\\g.mdb");
  connection.SetConnectionString(L"Data Source=\"C:\\semi;colon\\\"\"q.mdb\";Mode=Read");
  EXPECT_EQ(connection.DataSource(), L"C:\\semi;colon\\\"q.mdb");
  connection.SetConnectionString(L"Provider=x;User ID=Admin;Data Source='it''s.mdb'");
  EXPECT_EQ(connection.DataSource(), L"it's.mdb");
  connection.SetConnectionString(L"Provider=Microsoft.Jet.OLEDB.4.0;Source=x.mdb");
  EXPECT_EQ(connection.DataSource(), L"");
}

TEST_F(DataTest, FilesThatCannotBeOpenedLeaveTheConnectionNotConnected) {
  const std::filesystem::path folder = std::filesystem::path(file_.Path()).parent_path();
  for (const auto& path : {folder / "missing.mdb", folder, folder / "no" / "such.mdb"}) {
    for (const ConnectMode mode : {ConnectMode::kReadOnly, ConnectMode::kReadWrite}) {
      Connection connection("c");
      connection.SetMode(mode);
      connection.SetConnectionString(L"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                                     path.wstring());
      EXPECT_NO_THROW(connection.Connect()) << path;
      EXPECT_FALSE(connection.Connected()) << path;
    }
  }
  // A data set on a connection that is not connected names itself.
  Table table("GaugeTable");
  table.SetTableName("GageMaster");
  EXPECT_EQ(ErrorOf([&] { table.Open(); }), "GaugeTable: No connection is set");
  Connection idle("Idle");
  table.SetConnection(&idle);
  EXPECT_EQ(ErrorOf([&] { table.Open(); }), "GaugeTable: Connection 'Idle' is not connected");
  EXPECT_FALSE(table.Active());
}

TEST_F(DataTest, FilesNamedOutsideAsciiOpen) {
  // The wide path of the connection string reaches the file system as the same name,
  // letters beyond Latin-1 and beyond the 16-bit plane included.
  const std::filesystem::path folder = std::filesystem::path(file_.Path()).parent_path();
  std::filesystem::copy_file(file_.Path(), folder / u8"Pr\u00FCfmittel \u6E2C \U0001F4CF.mdb");
  Connection connection("c");
  connection.SetConnectionString(L"Data Source=" + Wide(folder.string()) +
                                 L"/Pr\u00FCfmittel \u6E2C \U0001F4CF.mdb");
  connection.Connect();
  EXPECT_TRUE(connection.Connected());
}

TEST_F(DataTest, AFileThatIsNoDatabaseRaisesAnErrorNamingIt) {
  for (const std::vector<std::uint8_t>& bytes :
       {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>(8192, 'x')}) {
    ScratchFile text(bytes, "notes.txt");
    Connection connection("c");
    connection.SetConnectionString(L"Data Source=" + Wide(text.Path()));
    const std::string message = ErrorOf([&] { connection.Connect(); });
    EXPECT_NE(message.find(text.Path()), std::string::npos) << message;
    EXPECT_FALSE(connection.Connected());
  }
}

TEST_F(DataTest, ReadOnlyConnectionNeverWritesTheFile) {
  AddRows("GageMaster", {{{"GageDescription", Value::Text("Caliper")}}});
  const auto before = ReadAll(file_.Path());
  Connect(ConnectMode::kReadOnly);
  Table gauges("Gauges");
  OpenTable(gauges, "GageMaster");
  gauges.Insert();
  gauges.FieldByName("GageDescription").SetAsString("Micrometer");
  const std::string message = ErrorOf([&] { gauges.Post(); });
  EXPECT_EQ(message.rfind("Gauges: ", 0), 0u) << message;
  EXPECT_TRUE(gauges.Inserting());  // the row is still pending
  gauges.Cancel();
  EXPECT_EQ(gauges.RecordCount(), 1);
  EXPECT_NE(ErrorOf([&] { gauges.Delete(); }), "");
  EXPECT_EQ(gauges.RecordCount(), 1);
  connection_.Disconnect();
  EXPECT_EQ(ReadAll(file_.Path()), before);
}

TEST_F(DataTest, DisconnectClosesTheDataSetsAndMissingTablesNameTableAndFile) {
  Connect();
  Table gauges("Gauges");
  OpenTable(gauges, "gagemaster");
  Query identity("Identity");
  identity.SetConnection(&connection_);
  identity.SetSql("select @@IDENTITY as ID_NUMBER");
  identity.Open();
  connection_.Disconnect();
  EXPECT_FALSE(gauges.Active());
  EXPECT_FALSE(identity.Active());
  EXPECT_FALSE(connection_.Connected());

  connection_.Connect();
  Table points("NewTestPointsTable");
  EXPECT_EQ(ErrorOf([&] { OpenTable(points, "TestPointz"); }),
            "NewTestPointsTable: Table 'TestPointz' not found in '" + file_.Path() + "'");
  EXPECT_FALSE(points.Active());
  identity.SetSql("select * from GageMaster");
  EXPECT_EQ(ErrorOf([&] { identity.Open(); }).rfind("Identity: ", 0), 0u);
}

TEST_F(DataTest, FieldsReadEveryTypeAndNullsByTheConventions) {
  const double taken = jetdb::DaysFromDate(2024, 3, 5, 14, 30, 0);
  AddRows("TestPoints", {{{"GageID", Value::Integer(7)},
                          {"Ordering", Value::Integer(-3)},
                          {"Reading", Value::Number(2.5)},
                          {"Note", Value::Text("\xce\xa9 ohm \xe2\x80\x94 long note")},
                          {"Passed", Value::Boolean(true)},
                          {"Taken", Value::DateTime(taken)},
                          {"Cost", Value::Currency(123450)},
                          {"Weight", Value::Number(0.5)},
                          {"Label", Value::Text(" 42 ")},
                          {"Small", Value::Integer(0)}},
                         {}});
  Connect();
  Table points("Points");
  OpenTable(points, "TestPoints");
  ASSERT_EQ(points.RecordCount(), 2);

  EXPECT_EQ(points.FindField("nothing"), nullptr);
  EXPECT_EQ(ErrorOf([&] { points.FieldByName("Nothing"); }), "Points: Field 'Nothing' not found");
  auto& id = points.FieldByName("testpointid");
  EXPECT_EQ(&id, points.FindField("TESTPOINTID"));
  EXPECT_EQ(id.FieldName(), "TestPointID");

  EXPECT_EQ(id.AsInteger(), 1);
  EXPECT_EQ(points.FieldByName("Ordering").AsString(), "-3");
  EXPECT_EQ(points.FieldByName("Reading").AsString(), "2.5");
  EXPECT_EQ(points.FieldByName("Reading").AsInteger(), 2);  // halves to even
  EXPECT_EQ(points.FieldByName("Note").AsString(), "\xce\xa9 ohm \xe2\x80\x94 long note");
  EXPECT_EQ(points.FieldByName("Passed").AsString(), "True");
  EXPECT_EQ(points.FieldByName("Passed").AsInteger(), -1);
  EXPECT_TRUE(points.FieldByName("Passed").AsBoolean());
  EXPECT_EQ(points.FieldByName("Taken").AsString(), "2024-03-05 14:30:00");
  EXPECT_DOUBLE_EQ(points.FieldByName("Taken").AsDateTime(), taken);
  EXPECT_EQ(points.FieldByName("Cost").AsString(), "12.345");
  EXPECT_DOUBLE_EQ(points.FieldByName("Cost").AsFloat(), 12.345);
  EXPECT_EQ(points.FieldByName("Cost").AsInteger(), 12);
  EXPECT_EQ(points.FieldByName("Weight").AsString(), "0.5");
  EXPECT_EQ(points.FieldByName("Label").AsInteger(), 42);  // text holding a number
  EXPECT_DOUBLE_EQ(points.FieldByName("Label").AsFloat(), 42.0);
  EXPECT_FALSE(points.FieldByName("Small").AsBoolean());
  EXPECT_TRUE(points.FieldByName("Label").AsBoolean());  // a number other than 0
  EXPECT_FALSE(points.FieldByName("Small").IsNull());
  EXPECT_EQ(ErrorOf([&] { points.FieldByName("Note").AsInteger(); }),
            "Points: Field 'Note' cannot be read as an integer");
  EXPECT_NE(ErrorOf([&] { points.FieldByName("Note").AsDateTime(); }).find("Points: Field 'Note'"),
            std::string::npos);

  points.Next();
  for (const auto* name : {"GageID", "Ordering", "Reading", "Note", "Passed", "Taken", "Cost",
                           "Weight", "Label", "Small"}) {
    PELMORA_TRACE(name);
    auto& field = points.FieldByName(name);
    EXPECT_EQ(field.IsNull(), std::string(name) != "Passed");  // Yes/No is never null
    EXPECT_EQ(field.AsString(), std::string(name) == "Passed" ? "False" : "");
    EXPECT_EQ(field.AsInteger(), 0);
    EXPECT_EQ(field.AsFloat(), 0.0);
    EXPECT_FALSE(field.AsBoolean());
    if (std::string(name) != "Note" && std::string(name) != "Label") {
      EXPECT_EQ(field.AsDateTime(), 0.0);
    }
  }
  points.Next();
  EXPECT_TRUE(points.Eof());
  EXPECT_TRUE(id.IsNull());  // no current row
  EXPECT_EQ(ErrorOf([&] { id.SetAsInteger(5); }),
            "Points: Field 'TestPointID' cannot be changed: not inserting");
}

TEST_F(DataTest, PostedRowsTakeTheNextKeyAndTheIdentityQueryGivesIt) {
  AddRows("GageMaster", {{{"GageDescription", Value::Text("Old")}}});
  Connect();
  Table gauges("GageMasterTable");
  OpenTable(gauges, "GageMaster");
  Table points("NewTestPointsTable");
  OpenTable(points, "TestPoints");
  Query identity("IdentityQuery");
  identity.SetConnection(&connection_);
  identity.SetSql("select @@IDENTITY as ID_NUMBER");

  gauges.Insert();
  EXPECT_TRUE(gauges.FieldByName("GageID").IsNull());
  gauges.FieldByName("GageDescription").SetAsString("Caliper \xc3\xa9");
  gauges.Post();
  EXPECT_FALSE(gauges.Inserting());
  EXPECT_EQ(gauges.RecordCount(), 2);
  EXPECT_EQ(gauges.FieldByName("GageID").AsInteger(), 2);  // read back with its key
  EXPECT_EQ(gauges.FieldByName("GageDescription").AsString(), "Caliper \xc3\xa9");
  identity.Open();
  EXPECT_EQ(identity.RecordCount(), 1);
  EXPECT_EQ(identity.FieldByName("ID_NUMBER").AsInteger(), 2);
  identity.Close();

  for (int i = 0; i < 3; ++i) {
    points.Insert();
    points.FieldByName("GageID").SetAsInteger(2);
    points.FieldByName("Reading").SetAsString("1.25");  // converted to the column's type
    points.FieldByName("Passed").SetAsBoolean(true);
    points.FieldByName("Taken").SetAsDateTime(45000.5);
    points.FieldByName("Cost").SetAsFloat(3.5);
    points.FieldByName("Label").SetAsString("P" + std::to_string(i));
    if (i == 0)
      points.FieldByName("Note").SetAsString(std::string(3000, 'n'));  // a page of its own
    if (i == 1) points.FieldByName("Weight").SetAsFloat(0.1);          // stored as a Single
    points.Post();
    identity.Open();
    EXPECT_EQ(identity.FieldByName("ID_NUMBER").AsInteger(), i + 1);
    EXPECT_EQ(points.FieldByName("TestPointID").AsInteger(), i + 1);
    identity.Close();
  }
  EXPECT_EQ(points.RecordCount(), 3);
  points.First();
  EXPECT_EQ(points.FieldByName("Note").AsString(), std::string(3000, 'n'));
  EXPECT_TRUE(points.FieldByName("Weight").IsNull());
  points.Next();
  EXPECT_TRUE(points.FieldByName("Note").IsNull());
  EXPECT_EQ(points.FieldByName("Weight").AsFloat(), static_cast<double>(0.1f));
  points.Next();
  EXPECT_TRUE(points.FieldByName("Weight").IsNull());  // nothing left over from the post before
  EXPECT_EQ(points.FieldByName("Reading").AsString(), "1.25");
  EXPECT_EQ(points.FieldByName("Cost").AsString(), "3.5");
  EXPECT_EQ(points.FieldByName("Taken").AsString(), "2023-03-15 12:00:00");

  // A refused post names the data set, keeps the row pending and tells no one it was posted.
  std::vector<std::string> posted;
  points.AfterPost = [&](framework::data::DataSet& set) {
    posted.push_back(set.FieldByName("Label").AsString());
  };
  points.Insert();
  points.FieldByName("Label").SetAsString(std::string(21, 'x'));
  const std::string message = ErrorOf([&] { points.Post(); });
  EXPECT_EQ(message.rfind("NewTestPointsTable: ", 0), 0u) << message;
  EXPECT_TRUE(points.Inserting());
  EXPECT_EQ(points.RecordCount(), 3);
  points.FieldByName("Label").SetAsString("fits");
  points.Post();
  EXPECT_EQ(points.RecordCount(), 4);
  EXPECT_EQ(posted, std::vector<std::string>{"fits"});  // the stored row is current
  // Read as stored: Yes/No left out is No, not null; other columns left out stay null.
  EXPECT_FALSE(points.FieldByName("Passed").IsNull());
  EXPECT_EQ(points.FieldByName("Passed").AsString(), "False");
  EXPECT_TRUE(points.FieldByName("Taken").IsNull());
  EXPECT_EQ(points.FieldByName("TestPointID").AsInteger(), 4);
  gauges.Insert();
  gauges.FieldByName("GageID").SetAsInteger(1);  // taken
  EXPECT_EQ(ErrorOf([&] { gauges.Post(); }).rfind("GageMasterTable: ", 0), 0u);
  gauges.Cancel();
  EXPECT_EQ(gauges.RecordCount(), 2);
  // Two data sets of one table number their rows together.
  Table more("MoreGauges");
  OpenTable(more, "GAGEMASTER");
  more.Insert();
  more.Post();
  gauges.Insert();
  gauges.Post();
  EXPECT_EQ(more.FieldByName("GageID").AsInteger(), 3);
  EXPECT_EQ(gauges.FieldByName("GageID").AsInteger(), 4);

  // What was posted is in the file.
  connection_.Disconnect();
  connection_.Connect();
  points.Open();
  EXPECT_EQ(Column(points, "Label"), (std::vector<std::string>{"P0", "P1", "P2", "fits"}));
}

TEST_F(DataTest, DeletingUntilEofEmptiesTheTableAndLeavesTheOthers) {
  std::vector<jetdb::RowValues> rows;
  for (int i = 0; i < 300; ++i) rows.push_back({{"Ordering", Value::Integer(i)}});
  AddRows("TestPoints", rows);
  AddRows("GageMaster", {{{"GageDescription", Value::Text("Kept")}}});
  Connect();
  Table points("Points");
  OpenTable(points, "TestPoints");
  points.Next();
  points.Delete();  // the following row becomes current
  EXPECT_EQ(points.FieldByName("Ordering").AsInteger(), 2);
  EXPECT_EQ(points.RecordCount(), 299);
  points.First();
  EXPECT_EQ(points.FieldByName("Ordering").AsInteger(), 0);
  int deleted = 0;
  while (!points.Eof()) {
    points.Delete();
    ++deleted;
  }
  EXPECT_EQ(deleted, 299);
  EXPECT_EQ(points.RecordCount(), 0);
  EXPECT_EQ(ErrorOf([&] { points.Delete(); }),
            "Points: Cannot perform this operation on an empty dataset");
  points.Close();
  points.Open();
  EXPECT_EQ(points.RecordCount(), 0);
  EXPECT_TRUE(points.Eof());
  Table gauges("Gauges");
  OpenTable(gauges, "GageMaster");
  EXPECT_EQ(Column(gauges, "GageDescription"), std::vector<std::string>{"Kept"});
}

TEST_F(DataTest, IndexFieldNamesOrdersNullsFirstAndTiesInTableOrder) {
  const std::vector<std::pair<std::optional<int>, std::string>> rows = {
      {3, "a"}, {1, "b"}, {std::nullopt, "c"}, {3, "d"}, {-2, "e"}, {1, "f"}, {std::nullopt, "g"}};
  std::vector<jetdb::RowValues> values;
  for (const auto& [ordering, label] : rows) {
    jetdb::RowValues row = {{"Label", Value::Text(label)}};
    if (ordering) row.push_back({"Ordering", Value::Integer(*ordering)});
    values.push_back(row);
  }
  AddRows("TestPoints", values);
  Connect();
  Table points("Points");
  points.SetIndexFieldNames("Ordering");
  OpenTable(points, "TestPoints");
  EXPECT_EQ(Column(points, "Label"), (std::vector<std::string>{"c", "g", "e", "b", "f", "a", "d"}));
  points.SetIndexFieldNames("Label");  // re-sorts the open table, first row current
  EXPECT_EQ(Column(points, "Label"), (std::vector<std::string>{"a", "b", "c", "d", "e", "f", "g"}));
  points.SetIndexFieldNames("");
  EXPECT_EQ(Column(points, "Label"), (std::vector<std::string>{"a", "b", "c", "d", "e", "f", "g"}));
  EXPECT_EQ(ErrorOf([&] { points.SetIndexFieldNames("Sequence"); }),
            "Points: Field 'Sequence' not found");
  points.Close();
  points.SetIndexFieldNames("Sequence");
  EXPECT_EQ(ErrorOf([&] { points.Open(); }), "Points: Field 'Sequence' not found");
  EXPECT_FALSE(points.Active());
}

// Gauges 1..5, where gauge 4 has no test points; test points of gauges 0, -1 and null too.
class MasterDetailTest : public DataTest {
 protected:
  void SetUp() override {
    std::vector<jetdb::RowValues> gauges;
    for (int i = 1; i <= 5; ++i) gauges.push_back({{"GageDescription", Value::Text("G")}});
    AddRows("GageMaster", gauges);
    const std::vector<std::pair<std::optional<int>, int>> points = {
        {2, 20}, {1, 10}, {3, 30}, {2, 21}, {0, 0}, {1, 11}, {-1, -10}, {std::nullopt, 99},
        {5, 50}, {2, 22}, {1, 12}};
    std::vector<jetdb::RowValues> rows;
    for (const auto& [gauge, ordering] : points) {
      jetdb::RowValues row = {{"Ordering", Value::Integer(ordering)}};
      if (gauge) row.push_back({"GageID", Value::Integer(*gauge)});
      rows.push_back(row);
    }
    AddRows("TestPoints", rows);
    Connect();
    source_.SetDataSet(&gauges_);
    OpenTable(gauges_, "GageMaster");
    points_.SetMasterSource(&source_);
    points_.SetMasterFields("GageID");
    points_.SetIndexFieldNames("GageID");
  }

  // The detail's Ordering values for each gauge, walking the master.
  std::vector<std::vector<std::string>> Groups() {
    std::vector<std::vector<std::string>> groups;
    for (gauges_.First(); !gauges_.Eof(); gauges_.Next()) {
      EXPECT_EQ(points_.Eof(), points_.RecordCount() == 0);
      groups.push_back(Column(points_, "Ordering"));
    }
    return groups;
  }

  Table gauges_{"GageMasterTable"};
  DataSource source_{"GageMasterSource"};
  Table points_{"TestPointsTable"};
};

TEST_F(MasterDetailTest, DetailShowsTheMasterRowsGroupAndFollowsEveryMove) {
  OpenTable(points_, "TestPoints");
  EXPECT_EQ(points_.RecordCount(), 3);  // gauge 1
  using Lists = std::vector<std::vector<std::string>>;
  EXPECT_EQ(Groups(), (Lists{{"10", "11", "12"}, {"20", "21", "22"}, {"30"}, {}, {"50"}}));
  EXPECT_TRUE(points_.Eof());  // master at Eof
  EXPECT_EQ(points_.RecordCount(), 0);

  gauges_.First();
  gauges_.Next();
  gauges_.Next();
  gauges_.Next();  // gauge 4 has no test points
  EXPECT_EQ(points_.RecordCount(), 0);
  EXPECT_TRUE(points_.Eof());
  gauges_.Close();
  EXPECT_EQ(points_.RecordCount(), 0);
  gauges_.Open();
  EXPECT_EQ(points_.RecordCount(), 3);

  // A master row added with link value 0, and one with -1, meet those test points; deleting
  // the master's row moves the detail to the next master row's group.
  auto& gauge_id = gauges_.FieldByName("GageID");
  for (const int key : {0, -1}) {
    gauges_.Insert();
    gauge_id.SetAsInteger(key);
    gauges_.Post();
    EXPECT_EQ(points_.RecordCount(), 1) << key;
    EXPECT_EQ(points_.FieldByName("Ordering").AsInteger(), key * 10);
  }
  gauges_.First();
  gauges_.Delete();
  EXPECT_EQ(gauge_id.AsInteger(), 2);
  EXPECT_EQ(Column(points_, "Ordering"), (std::vector<std::string>{"20", "21", "22"}));

  // A test point posted for the current gauge joins its group and is current.
  points_.Insert();
  EXPECT_TRUE(points_.FieldByName("GageID").IsNull());
  EXPECT_EQ(points_.RecordCount(), 3);
  points_.FieldByName("GageID").SetAsInteger(2);
  points_.FieldByName("Ordering").SetAsInteger(23);
  points_.Post();
  EXPECT_EQ(points_.RecordCount(), 4);
  EXPECT_EQ(points_.FieldByName("Ordering").AsInteger(), 23);
  points_.First();
  points_.Delete();
  EXPECT_EQ(points_.RecordCount(), 3);
  EXPECT_EQ(points_.FieldByName("Ordering").AsInteger(), 21);
  gauges_.Next();
  gauges_.First();
  EXPECT_EQ(Column(points_, "Ordering"), (std::vector<std::string>{"21", "22", "23"}));

  // A test point posted for another gauge waits in that gauge's group.
  points_.Insert();
  points_.FieldByName("GageID").SetAsInteger(4);
  points_.FieldByName("Ordering").SetAsInteger(40);
  points_.Post();
  EXPECT_TRUE(points_.Eof());
  EXPECT_EQ(points_.RecordCount(), 3);
  gauges_.Next();
  gauges_.Next();
  EXPECT_EQ(gauge_id.AsInteger(), 4);
  EXPECT_EQ(Column(points_, "Ordering"), std::vector<std::string>{"40"});
}

TEST_F(MasterDetailTest, DetailOrderAndMissingLinkColumns) {
  // Another ordering inside each group.
  points_.SetIndexFieldNames("Ordering");
  OpenTable(points_, "TestPoints");
  gauges_.Next();
  EXPECT_EQ(Column(points_, "Ordering"), (std::vector<std::string>{"20", "21", "22"}));
  points_.Close();

  points_.Open();
  EXPECT_EQ(ErrorOf([&] { points_.SetMasterFields("Gauge"); }),
            "TestPointsTable: Field 'Gauge' not found");
  EXPECT_FALSE(points_.Active());
  EXPECT_EQ(ErrorOf([&] { points_.Open(); }), "TestPointsTable: Field 'Gauge' not found");
  EXPECT_FALSE(points_.Active());

  // The master lacks the link column: the error names the master.
  points_.SetMasterFields("Ordering");
  EXPECT_EQ(ErrorOf([&] { points_.Open(); }), "GageMasterTable: Field 'Ordering' not found");
  EXPECT_FALSE(points_.Active());
}

TEST_F(MasterDetailTest, DataSetsMadeAfterOthersWereDroppedStartFresh) {
  // Data sets made and dropped in turn, as a query after every post, share what they leave.
  {
    Table detail("Detail");
    detail.SetMasterSource(&source_);
    detail.SetMasterFields("GageID");
    detail.SetIndexFieldNames("Ordering");
    OpenTable(detail, "TestPoints");
    EXPECT_EQ(detail.RecordCount(), 3);
  }
  {
    Table fresh("Fresh");
    EXPECT_EQ(fresh.IndexFieldNames(), "");
    OpenTable(fresh, "TestPoints");
    gauges_.Next();
    EXPECT_EQ(fresh.RecordCount(), 11);                  // follows no master
    EXPECT_EQ(Column(fresh, "Ordering").front(), "20");  // in table order
  }
  DataSource master_source("MasterSource");
  auto detail = std::make_unique<Table>("Detail");
  {
    Table master("Master");
    master_source.SetDataSet(&master);
    detail->SetMasterSource(&master_source);
    detail->SetMasterFields("GageID");
    OpenTable(master, "GageMaster");
    OpenTable(*detail, "TestPoints");
    EXPECT_EQ(detail->RecordCount(), 3);
    master_source.SetDataSet(nullptr);
  }
  Table next("Next");  // made from what the master left: it must lead no detail
  detail.reset();
  OpenTable(next, "GageMaster");
  next.Next();
  EXPECT_EQ(next.RecordCount(), 5);
}

TEST_F(MasterDetailTest, ManyMastersAreFollowedWithoutRescanning) {
  // 2,000 more gauges and 20,000 test points, ten per gauge, posted through the components.
  Table points("Points");
  OpenTable(points, "TestPoints");
  for (int gauge = 6; gauge < 2006; ++gauge) {
    gauges_.Insert();
    gauges_.FieldByName("GageDescription").SetAsString("G");
    gauges_.Post();
  }
  auto& gauge_id = points.FieldByName("GageID");
  auto& ordering = points.FieldByName("Ordering");
  for (int i = 0; i < 20000; ++i) {
    points.Insert();
    gauge_id.SetAsInteger(6 + i % 2000);
    ordering.SetAsInteger(i);
    points.Post();
  }
  EXPECT_EQ(points.RecordCount(), 20011);
  OpenTable(points_, "TestPoints");
  long long total = 0;
  int sum = 0;
  auto& detail_ordering = points_.FieldByName("Ordering");
  for (gauges_.First(); !gauges_.Eof(); gauges_.Next()) {
    total += points_.RecordCount();
    for (; !points_.Eof(); points_.Next()) sum += detail_ordering.AsInteger() % 7;
  }
  EXPECT_EQ(total, 20000 + 8);  // all but the points of gauges 0, -1 and null
  EXPECT_GT(sum, 0);
}

}  // namespace
