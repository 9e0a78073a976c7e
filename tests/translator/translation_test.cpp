// The whole translation, driven through the real window on small databases built for each
// case: what the new database holds afterwards, row by row and key by key.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/exception.h"
#include "framework/text.h"
#include "jetdb/jetdb.h"
#include "tests/support/message_box_watcher.h"
#include "tests/translator/form8_window.h"
#include "tools/jetfixture/fixture.h"

namespace translator {
namespace {

using framework::Utf8ToWide;
using framework::WideToUtf8;

// The version 1 layout, with the lookup tables; rows follow per case.
constexpr char kOldTables[] = R"(
table GageMaster
column gage_id long
column gagedescription text
column gagetype text
column gagelocation text
column gagesn text
column frequency double
column tracibility text
column active boolean
column purchasevalue currency
column ownership text
column PicLink text 255
column gagememo memo
column duedate datetime
column category text
table GageDetails
column detail_id long auto
column gage_id long
column testpoint text
column actual text
column dateinspected datetime
column disposition text
column inspby text
index gage_id : gage_id
table dLocation
column location text
table dFrequency
column months text
column Ordering integer
table dTracibility
column Tracibility text
table dOwnership
column OwnerShip text
table dInspectors
column initials text
table dDisposition
column Disposition text
)";

// Gauges that cover the cases of one run: details stored out of gauge order, a gauge without
// details, a first detail row without inspection date, link values 0 and below, empty test
// points and readings, frequencies and due dates missing or 0, texts beyond Latin-1.
constexpr char kOldRows[] = R"(
table GageMaster
row 1 | Caliper 150 mm | Caliper | Crib A | C-001 | 6 | NIST | true | 120.5 | Shop | C:\pics\c1.jpg | Jaws checked | 2025-05-02 | Hand
row 2 | Micrometer Größe Ω€ | Micrometer | Crib B | M-002 |  | Mesure Précision | false |  | Shop |  |  |  | Hand
row 3 | Gauge block set | Block | Lab | B-003 | 0 | NIST | true | 900 | Lab |  | 47 blocks | 1899-12-30 | Master
row 0 | Thread plug M6 | Thread | Crib A | T-000 | 12 | NIST | true | 30 | Shop |  |  | 2025-02-01 | Thread
row -4 | Pin gauge 3 mm | Pin | Crib A | P-004 | 12 | NIST | true | 5 | Shop |  |  | 2025-02-01 | Pin
row 6 | Height gauge | Height | Lab | H-006 | 1.1 | NIST | true | 700 | Lab |  |  | 2025-06-10 13:30:00 | Hand
table GageDetails
row  | 1 | 0 mm | 0.00 | 2024-05-02 | Pass | JR
row  | 6 | 100 mm |  | 2024-06-10 | Adjusted | KL
row  | 3 | 10 mm | 10.0001 |  | Pass | JR
row  | 1 | 50 mm | 50.01 | 2024-05-02 | Pass | JR
row  | 0 | M6 | GO | 2024-01-01 | Pass | JR
row  | 3 |  | GO |  |  |
row  | 1 | 150 mm | 149.99 |  |  |
row  | 3 |  |  |  |  |
row  | -4 | 3 mm | GO | 2024-02-02 | Pass | JR
table dLocation
row abc
row defg
table dFrequency
row 12 Months | 3
row 1 Month | 1
row  | 4
row 6 Months | 2
table dTracibility
row NIST
row Größe Ω
table dInspectors
row JR
row KL
table dDisposition
row Pass
row Fail
row Adjusted
)";

// The current layout, holding rows of an earlier run and a table the run must leave alone.
constexpr char kNewDatabase[] = R"(
table GageMaster
column gage_id long auto
column gagedescription text
column gagetype text
column gageSN text
column gagelocation text
column frequency double
column duedate datetime
column gagememo memo
column ownership text
column PictureLink text 255
column tracibility text
column active boolean
column CheckedOut integer
index PrimaryKey primary : gage_id
row  | Old gauge | x | x | x | 1 | 2020-01-01 | x | x | x | x | true | 0
table CalibrationHeader
column calibration_id long auto
column gage_id long
column calibrationdate datetime
column disposition text
column inspector text
column TestMemo memo
column Standard text
index PrimaryKey primary : calibration_id
index gage_id : gage_id
row  | 1 | 2020-01-01 | Pass | XX | | 
table TestPoints
column testpoint_id long auto
column gage_id long
column test_point text
index PrimaryKey primary : testpoint_id
row  | 1 | old point
table TestPointResults
column result_id long auto
column testpoint_id long
column calibration_id long
column result text
index PrimaryKey primary : result_id
row  | 1 | 1 | old result
table GageColumns
column column_id long auto
column order integer
column heading text
column fieldname text 64
column listitems memo
index PrimaryKey primary : column_id
row  | 1 | old | old | old
table CalibrationColumns
column column_id long auto
column order integer
column heading text
column fieldname text 64
column listitems memo
index PrimaryKey primary : column_id
row  | 1 | old | old | old
table Users
column user_id long auto
column name text
index PrimaryKey primary : user_id
row  | Ada
row  | Grace
)";

std::string Utf8(const std::filesystem::path& path) { return WideToUtf8(path.wstring()); }

std::string Base() { return PELMORA_TESTDATA "/adox_jet4.mdb"; }

std::vector<char> FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One stored row: each column's value as text ("<null>" for null), by lower-case name.
using Row = std::map<std::string, std::string>;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<Row> ReadRows(const std::filesystem::path& file, const std::string& table) {
  auto database = jetdb::Database::Open(Utf8(file));
  const jetdb::Table t = database->OpenTable(table);
  std::vector<Row> rows;
  for (jetdb::Cursor c = t.Rows(); c.Next();) {
    Row row;
    for (const auto& column : t.Columns())
      row[Lower(column.name)] = c.IsNull(column) ? "<null>" : c.Text(column);
    rows.push_back(std::move(row));
  }
  return rows;
}

const Row* Find(const std::vector<Row>& rows, const std::string& column, const std::string& value) {
  for (const auto& row : rows)
    if (row.at(column) == value) return &row;
  return nullptr;
}

class TranslationTest : public testing_support::Form8Window {
 protected:
  void SetUp() override {
    Form8Window::SetUp();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::filesystem::path(temp) / ("pelmora translation " + std::to_string(++count_));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    old_file_ = folder_ / "old.mdb";
    new_file_ = folder_ / "gagesnew.mdb";
    framework::Application::Instance().SetExceptionHook([this](std::exception_ptr error) {
      errors_.push_back(framework::ExceptionText(error));
      try {
        std::rethrow_exception(error);
      } catch (const framework::Exception& e) {
        error_classes_.push_back(e.ClassName());
      } catch (...) {
        error_classes_.push_back("?");
      }
    });
  }
  void TearDown() override {
    Form8Window::TearDown();
    framework::Application::Instance().SetExceptionHook(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  void MakeOld(const std::string& description) {
    jetfixture::BuildDatabase(description, Base(), Utf8(old_file_), "old");
  }
  void MakeNew(const std::string& description = kNewDatabase) {
    jetfixture::BuildDatabase(description, Base(), Utf8(new_file_), "new");
  }
  // Types the name into the field and presses Enter; returns when the run is over.
  void Run(const std::wstring& name) {
    form_->SetEditText(name);
    SetFocus(form_->Control(L"Edit1"));
    PressKey(form_->Control(L"Edit1"), VK_RETURN);
  }
  void Run() { Run(old_file_.wstring()); }
  // Closes the window so that the new database is read as another program would find it.
  void EndProgram() {
    form_.reset();
    Pump();
  }

  std::filesystem::path folder_, old_file_, new_file_;
  std::vector<std::wstring> errors_;
  std::vector<std::string> error_classes_;
  static inline int count_ = 0;
};

TEST_F(TranslationTest, CopiesGaugesWithTheirCalibrationsTestPointsAndResults) {
  MakeOld(std::string(kOldTables) + kOldRows);
  MakeNew();
  const auto old_bytes = FileBytes(old_file_);
  testing_support::MessageBoxWatcher boxes;
  Run();
  EXPECT_EQ(TextOf(L"Label3"), L"Finished");
  // The status line paints again after the gauges, sized to its last caption.
  const RECT status = ClientRectOf(L"Label3");
  EXPECT_TRUE(IsWindowVisible(form_->Control(L"Label3")));
  EXPECT_EQ(status.right - status.left, TextWidthOf(L"Label3", L"Finished"));
  EXPECT_EQ(form_->ProgressPosition(), 0);
  EXPECT_EQ(form_->ProgressMax(), 6);
  EXPECT_EQ(framework::Application::Instance().Cursor(), nullptr);
  EXPECT_TRUE(boxes.Texts().empty());
  EXPECT_TRUE(errors_.empty()) << WideToUtf8(errors_.empty() ? L"" : errors_[0]);
  // The clean-up leaves the connections and the lookup tables open.
  EXPECT_TRUE(form_->OldGageConnection.Connected());
  EXPECT_TRUE(form_->NewGageConnection.Connected());
  EXPECT_TRUE(form_->NewGageColumnsTable.Active());
  EXPECT_TRUE(form_->OldOwnershipTable.Active());
  EXPECT_FALSE(form_->OldGageMasterTable.Active());
  EXPECT_FALSE(form_->NewTestPointsTable.Active());
  EndProgram();
  EXPECT_EQ(FileBytes(old_file_), old_bytes);

  const auto gauges = ReadRows(new_file_, "GageMaster");
  ASSERT_EQ(gauges.size(), 6u);
  const char* order[] = {"Caliper 150 mm", "Micrometer Größe Ω€", "Gauge block set",
                         "Thread plug M6", "Pin gauge 3 mm",      "Height gauge"};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(gauges[i].at("gagedescription"), order[i]);
  std::map<std::string, std::string> key;  // description -> new gauge key
  for (const auto& g : gauges) key[g.at("gagedescription")] = g.at("gage_id");

  const Row& caliper = gauges[0];
  EXPECT_EQ(caliper.at("gagetype"), "Caliper");
  EXPECT_EQ(caliper.at("gagesn"), "C-001");
  EXPECT_EQ(caliper.at("gagelocation"), "Crib A");
  EXPECT_EQ(caliper.at("duedate"), "2025-05-02 00:00:00");
  EXPECT_EQ(caliper.at("gagememo"), "Jaws checked");
  EXPECT_EQ(caliper.at("ownership"), "Shop");
  EXPECT_EQ(caliper.at("picturelink"), "C:\\pics\\c1.jpg");
  EXPECT_EQ(caliper.at("tracibility"), "NIST");
  EXPECT_EQ(caliper.at("checkedout"), "0");
  // Missing or zero frequencies and due dates stay unset; texts keep every character.
  const Row& micrometer = gauges[1];
  EXPECT_EQ(micrometer.at("frequency"), "<null>");
  EXPECT_EQ(micrometer.at("duedate"), "<null>");
  EXPECT_EQ(micrometer.at("tracibility"), "Mesure Précision");
  EXPECT_EQ(gauges[2].at("frequency"), "<null>");
  EXPECT_EQ(gauges[2].at("duedate"), "<null>");  // date 0 is no date
  {
    // The frequency passes through single precision.
    auto database = jetdb::Database::Open(Utf8(new_file_));
    const jetdb::Table t = database->OpenTable("GageMaster");
    const auto& frequency = t.GetColumn("frequency");
    const auto& active = t.GetColumn("active");
    std::vector<double> frequencies;
    std::vector<bool> actives;
    for (jetdb::Cursor c = t.Rows(); c.Next();) {
      frequencies.push_back(c.Double(frequency));
      actives.push_back(c.Boolean(active));
    }
    EXPECT_EQ(frequencies[0], 6.0);
    EXPECT_EQ(frequencies[5], static_cast<double>(1.1f));
    EXPECT_NE(frequencies[5], 1.1);
    EXPECT_EQ(actives, (std::vector<bool>{true, false, true, true, true, true}));
  }

  // A header only where the first detail row has an inspection date and the link is above 0.
  const auto headers = ReadRows(new_file_, "CalibrationHeader");
  ASSERT_EQ(headers.size(), 2u);
  EXPECT_EQ(headers[0].at("gage_id"), key["Caliper 150 mm"]);
  EXPECT_EQ(headers[0].at("calibrationdate"), "2024-05-02 00:00:00");
  EXPECT_EQ(headers[0].at("disposition"), "Pass");
  EXPECT_EQ(headers[0].at("inspector"), "JR");
  EXPECT_EQ(headers[1].at("gage_id"), key["Height gauge"]);
  EXPECT_EQ(headers[1].at("disposition"), "Adjusted");

  const auto points = ReadRows(new_file_, "TestPoints");
  std::vector<std::pair<std::string, std::string>> point_list;
  for (const auto& p : points) point_list.push_back({p.at("test_point"), p.at("gage_id")});
  const std::vector<std::pair<std::string, std::string>> expected_points = {
      {"0 mm", key["Caliper 150 mm"]},
      {"50 mm", key["Caliper 150 mm"]},
      {"150 mm", key["Caliper 150 mm"]},
      {"10 mm", key["Gauge block set"]},
      {"100 mm", key["Height gauge"]}};
  EXPECT_EQ(point_list, expected_points);

  // Each result names its own test point and its own gauge's calibration, or nothing.
  const auto results = ReadRows(new_file_, "TestPointResults");
  ASSERT_EQ(results.size(), 5u);
  const std::string caliper_header = headers[0].at("calibration_id");
  struct Expected {
    const char* result;
    const char* point;  // null: no test point
    bool calibrated;
  };
  const Expected expected[] = {{"0.00", "0 mm", true},
                               {"50.01", "50 mm", true},
                               {"149.99", "150 mm", true},
                               {"10.0001", "10 mm", false},
                               {"GO", nullptr, false}};
  for (size_t i = 0; i < 5; ++i) {
    const Row& r = results[i];
    EXPECT_EQ(r.at("result"), expected[i].result);
    if (expected[i].point) {
      const Row* p = Find(points, "testpoint_id", r.at("testpoint_id"));
      ASSERT_NE(p, nullptr) << expected[i].result;
      EXPECT_EQ(p->at("test_point"), expected[i].point);
    } else {
      EXPECT_EQ(r.at("testpoint_id"), "<null>");
    }
    EXPECT_EQ(r.at("calibration_id"), expected[i].calibrated ? caliper_header : "<null>");
  }

  // The table the run does not know keeps its rows.
  EXPECT_EQ(ReadRows(new_file_, "Users").size(), 2u);
}

TEST_F(TranslationTest, ColumnDefinitionsCarryThePickListsAndASecondRunGivesTheSame) {
  MakeOld(std::string(kOldTables) + kOldRows);
  MakeNew();
  testing_support::MessageBoxWatcher boxes;
  Run();
  Run();
  EXPECT_EQ(TextOf(L"Label3"), L"Finished");
  EndProgram();
  EXPECT_TRUE(errors_.empty());
  // Kept for the check with mdbtools that follows this test program.
  // (MinGW's copy_file now and then refuses to overwrite it: "File exists".)
  ASSERT_TRUE(CopyFileW(new_file_.c_str(), L"translated.mdb", FALSE));

  struct Definition {
    const char* order;
    const char* heading;
    const char* field;
    const char* items;  // null: not written
  };
  const Definition gauge_columns[] = {
      {"1", "Gage ID", "GageSN", nullptr},
      {"2", "Gage Type", "GageType", nullptr},
      {"3", "Description", "GageDescription", nullptr},
      {"4", "Location", "GageLocation", "abc\r\ndefg\r\n"},
      {"5", "Memo", "GageMemo", nullptr},
      {"6", "Due Date", "DueDate", nullptr},
      {"7", "Frequency", "Frequency", "1 Month\r\n6 Months\r\n12 Months\r\n\r\n"},
      {"8", "Active", "Active", nullptr},
      {"9", "Tracibility", "Tracibility", "NIST\r\nGröße Ω\r\n"},
      {"10", "Owner", "Ownership", ""}};
  const Definition calibration_columns[] = {
      {"1", "Inspector", "Inspector", "JR\r\nKL\r\n"},
      {"2", "Disposition", "Disposition", "Pass\r\nFail\r\nAdjusted\r\n"},
      {"3", "Memo", "TestMemo", nullptr},
      {"4", "Standard", "Standard", nullptr}};
  auto check = [&](const char* table, const Definition* expected, size_t count) {
    const auto rows = ReadRows(new_file_, table);
    ASSERT_EQ(rows.size(), count) << table;
    for (size_t i = 0; i < count; ++i) {
      EXPECT_EQ(rows[i].at("order"), expected[i].order) << table << i;
      EXPECT_EQ(rows[i].at("heading"), expected[i].heading) << table << i;
      EXPECT_EQ(rows[i].at("fieldname"), expected[i].field) << table << i;
      EXPECT_EQ(rows[i].at("listitems"), expected[i].items ? expected[i].items : "<null>")
          << table << i;
    }
  };
  check("GageColumns", gauge_columns, 10);
  check("CalibrationColumns", calibration_columns, 4);
  // The second run replaced the first one's gauges rather than adding to them.
  EXPECT_EQ(ReadRows(new_file_, "GageMaster").size(), 6u);
  EXPECT_EQ(ReadRows(new_file_, "TestPointResults").size(), 5u);
  EXPECT_EQ(ReadRows(new_file_, "Users").size(), 2u);
}

TEST_F(TranslationTest, LinkFieldIsGageIdWhenTheGaugesHaveItElseGageid) {
  // Both columns in the gauges: gage_id links, and gageid of the details is ignored.
  std::string tables = kOldTables;
  const std::string link = "column gage_id long\n", other = "column gageid long\n";
  for (auto at = tables.find(link); at != std::string::npos; at = tables.find(link, at)) {
    tables.insert(at, other);  // in front of gage_id, in the gauges and in the details
    at += other.size() + link.size();
  }
  MakeOld(tables + R"(
table GageMaster
row 9 | 1 | Linked by gage_id | | | | | | | | | | | | 
table GageDetails
row  | 1 | 2 | wrong | x | | |
row  | 9 | 1 | right | x | | |
)");
  MakeNew();
  testing_support::MessageBoxWatcher boxes;
  Run();
  EndProgram();
  ASSERT_TRUE(errors_.empty());
  const auto points = ReadRows(new_file_, "TestPoints");
  ASSERT_EQ(points.size(), 1u);
  EXPECT_EQ(points[0].at("test_point"), "right");
}

TEST_F(TranslationTest, GaugesWithoutEitherLinkColumnEndTheRunWithADatabaseError) {
  std::string unlinked = std::string(kOldTables) + kOldRows;
  unlinked.replace(unlinked.find("column gage_id long\n"), 20, "column number long\n");
  MakeOld(unlinked);
  MakeNew();
  testing_support::MessageBoxWatcher boxes;
  Run();
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(error_classes_[0], "EDatabaseError");
  EXPECT_NE(errors_[0].find(L"'gageid' not found"), std::wstring::npos) << WideToUtf8(errors_[0]);
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(TranslationTest, MessagesForAMissingNameFileOrDatabase) {
  testing_support::MessageBoxWatcher boxes;
  const std::wstring title = framework::Application::Instance().Title();
  Run(L"");
  const std::wstring missing = (folder_ / "nothing.mdb").wstring();
  Run(missing);
  EXPECT_EQ(TextOf(L"Label3"), L"---");  // nothing started

  // The old file cannot be opened: another program holds it exclusively.
  MakeOld(std::string(kOldTables) + kOldRows);
  HANDLE exclusive =
      CreateFileW(old_file_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  Run();
  CloseHandle(exclusive);
  EXPECT_EQ(TextOf(L"Label3"), L"Finished");
  EXPECT_EQ(framework::Application::Instance().Cursor(), nullptr);

  // The old file opens, but there is no gagesnew.mdb beside it.
  form_->ShowStatus(L"---");
  Run();
  EXPECT_EQ(TextOf(L"Label3"), L"---");
  EXPECT_EQ(framework::Application::Instance().Cursor(), nullptr);
  EXPECT_TRUE(form_->OldGageConnection.Connected());
  EXPECT_FALSE(form_->NewGageConnection.Connected());
  Sleep(200);
  const auto texts = boxes.Texts();
  const std::vector<std::wstring> expected = {title + L"|Need Filename of Old gages file",
                                              title + L"|Cannot find database file\r\n" + missing,
                                              title + L"|Cannot connect to database",
                                              title + L"|Cannot connect to gagesnew.mdb"};
  EXPECT_EQ(texts, expected);
  EXPECT_TRUE(errors_.empty());
}

TEST_F(TranslationTest, DatabaseErrorsReachTheCentralHandlerAndLeaveTheOldFileAlone) {
  // The gauges lack a column the run reads: the run ends at the first gauge.
  std::string without_category = std::string(kOldTables) + kOldRows;
  without_category.replace(without_category.find("column category text\n"), 21, "");
  for (size_t at; (at = without_category.find(" | Hand\n")) != std::string::npos;)
    without_category.replace(at, 8, "\n");
  for (const char* last : {" | Master\n", " | Thread\n", " | Pin\n"})
    without_category.replace(without_category.find(last), std::strlen(last), "\n");
  MakeOld(without_category);
  MakeNew();
  const auto old_bytes = FileBytes(old_file_);
  testing_support::MessageBoxWatcher boxes;
  Run();
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(error_classes_[0], "EDatabaseError");
  EXPECT_EQ(errors_[0], L"OldGageMasterTable: Field 'category' not found");
  EXPECT_EQ(framework::Application::Instance().Cursor(), nullptr);
  EXPECT_EQ(form_->ProgressMax(), 6);
  EXPECT_TRUE(form_->NewGagemasterTable.Active());  // left as the error found them

  EXPECT_EQ(FileBytes(old_file_), old_bytes);

  // A file that is no Access database, with a good gagesnew.mdb beside it.
  const auto note_file = folder_ / "note.mdb";
  std::ofstream(note_file, std::ios::binary) << "Not a database at all, just a note.\r\n";
  const auto note = FileBytes(note_file);
  Run(note_file.wstring());
  ASSERT_EQ(errors_.size(), 2u);
  EXPECT_EQ(error_classes_[1], "EDatabaseError");
  EXPECT_NE(errors_[1].find(note_file.wstring()), std::wstring::npos) << WideToUtf8(errors_[1]);
  EXPECT_EQ(framework::Application::Instance().Cursor(), nullptr);
  EndProgram();
  EXPECT_EQ(FileBytes(note_file), note);
  EXPECT_EQ(FileBytes(old_file_), old_bytes);
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(TranslationTest, CloseWhileTheTablesOpenStopsBeforeTheFirstGauge) {
  MakeOld(std::string(kOldTables) + kOldRows);
  MakeNew();
  testing_support::MessageBoxWatcher boxes;
  form_->SetEditText(old_file_.wstring());
  SetFocus(form_->Control(L"Edit1"));
  PostMessageW(form_->Control(L"Edit1"), WM_KEYDOWN, VK_RETURN, 1);
  PostMessageW(form_->Control(L"BitBtn2"), BM_CLICK, 0, 0);
  const HWND window = form_->Handle();
  Pump();
  EXPECT_TRUE(StopRequested);
  EXPECT_FALSE(IsWindow(window));
  EndProgram();
  EXPECT_EQ(ReadRows(new_file_, "GageColumns").size(), 10u);
  EXPECT_EQ(ReadRows(new_file_, "CalibrationColumns").size(), 4u);
  EXPECT_TRUE(ReadRows(new_file_, "GageMaster").empty());
  EXPECT_TRUE(ReadRows(new_file_, "TestPoints").empty());
}

// Presses Close as soon as a given gauge is stored: the click waits in the queue until the run
// processes messages at the end of that gauge.
class CloseAtGauge {
 public:
  CloseAtGauge(framework::data::DataSet& gauges, HWND close, std::string gauge) : gauges_(gauges) {
    gauges_.AfterPost = [close, gauge](framework::data::DataSet& table) {
      if (table.FieldByName("gagedescription").AsString() == gauge)
        PostMessageW(close, BM_CLICK, 0, 0);
    };
  }
  ~CloseAtGauge() { gauges_.AfterPost = nullptr; }

 private:
  framework::data::DataSet& gauges_;
};

TEST_F(TranslationTest, CloseDuringTheGaugesKeepsTheGaugesCopiedSoFar) {
  MakeOld(std::string(kOldTables) + kOldRows);
  MakeNew();
  testing_support::MessageBoxWatcher boxes;
  {
    CloseAtGauge close(form_->NewGagemasterTable, form_->Control(L"BitBtn2"), "Gauge block set");
    Run();
  }
  EXPECT_TRUE(StopRequested);
  EndProgram();
  // The third gauge was copied whole; the run stopped before the fourth.
  const auto gauges = ReadRows(new_file_, "GageMaster");
  ASSERT_EQ(gauges.size(), 3u);
  EXPECT_EQ(gauges[2].at("gagedescription"), "Gauge block set");
  EXPECT_EQ(ReadRows(new_file_, "TestPoints").size(), 4u);
  EXPECT_EQ(ReadRows(new_file_, "TestPointResults").size(), 5u);
}

TEST_F(TranslationTest, AnEmptyGaugeTableStillWritesTheColumnDefinitions) {
  MakeOld(kOldTables);
  MakeNew();
  testing_support::MessageBoxWatcher boxes;
  Run();
  EXPECT_EQ(TextOf(L"Label3"), L"Finished");
  EXPECT_EQ(form_->ProgressMax(), 0);
  EndProgram();
  EXPECT_TRUE(errors_.empty());
  EXPECT_EQ(ReadRows(new_file_, "GageColumns").size(), 10u);
  const auto locations = ReadRows(new_file_, "GageColumns")[3];
  EXPECT_EQ(locations.at("listitems"), "");
  EXPECT_TRUE(ReadRows(new_file_, "GageMaster").empty());
}

}  // namespace
}  // namespace translator
