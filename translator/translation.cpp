// The translation behind Run: connects the old and the new database, empties the new tables,
// writes the column definitions and copies every old gauge with its detail rows.
#include <windows.h>

#include "framework/application.h"
#include "framework/exception.h"
#include "framework/text.h"
#include "translator/form8.h"

namespace translator {

namespace {

constexpr wchar_t kProvider[] = L"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";
constexpr wchar_t kPersist[] = L";Persist Security Info=False";

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Everything up to and including the last path separator or drive colon.
std::wstring FolderOf(const std::wstring& path) {
  const auto end = path.find_last_of(L"\\/:");
  return end == std::wstring::npos ? std::wstring() : path.substr(0, end + 1);
}

void ShowMessage(const std::wstring& text) { framework::Application::Instance().ShowMessage(text); }

}  // namespace

void TForm8::Translate() {
  StopRequested = false;
  const std::wstring old_file = EditText();
  if (old_file.empty()) {
    ShowMessage(L"Need Filename of Old gages file");
    return;
  }
  if (!FileExists(old_file)) {
    ShowMessage(L"Cannot find database file\r\n" + old_file);
    return;
  }
  SetBusyCursor(true);
  try {
    OldGageConnection.Disconnect();
    NewGageConnection.Disconnect();
    OldGageConnection.SetConnectionString(kProvider + old_file + kPersist);
    OldGageConnection.Connect();
    if (!OldGageConnection.Connected()) {
      ShowMessage(L"Cannot connect to database");
      CleanUp();
      return;
    }
    NewGageConnection.SetConnectionString(kProvider + FolderOf(old_file) + L"gagesnew.mdb" +
                                          kPersist);
    NewGageConnection.Connect();
    if (!NewGageConnection.Connected()) {
      ShowMessage(L"Cannot connect to gagesnew.mdb");
      SetBusyCursor(false);
      return;
    }
    OpenTables();
    ShowStatus(L"Clear New Tables");
    ClearNewTables();
    ShowStatus(L"Calibration Columns");
    WriteCalibrationColumns();
    ShowStatus(L"Gage Columns");
    WriteGageColumns();

    OldGageMasterTable.First();
    SetProgressMax(OldGageMasterTable.RecordCount());
    gauge_counter_ = 0;
    while (!OldGageMasterTable.Eof()) {
      if (StopRequested) return;
      ++gauge_counter_;
      if (!CopyGauge()) return;
      OldGageMasterTable.Next();
      framework::Application::Instance().ProcessMessages();
      AdvanceProgress(gauge_counter_);
    }
    CleanUp();
  } catch (...) {
    // The error goes on to the central handler; the user should not be left with a busy
    // cursor over a window that waits for nothing.
    SetBusyCursor(false);
    throw;
  }
}

void TForm8::OpenTables() {
  ShowStatus(L"Activate gagemaster table");
  OldGageMasterTable.Open();
  ShowStatus(L"Activate gagedetails table");
  link_field_ = OldGageMasterTable.FindField("gage_id") ? "gage_id" : "gageid";
  OLdGageDetailsTable.SetMasterFields(link_field_);
  OLdGageDetailsTable.SetIndexFieldNames(link_field_);
  OLdGageDetailsTable.Open();
  ShowStatus(L"Activate testpoints table");
  NewTestPointsTable.Open();
  ShowStatus(L"Activate testpointsresults table");
  NewTestPointsResultsTable.Open();
  ShowStatus(L"Activate gagemaster table");
  NewGagemasterTable.Open();
  ShowStatus(L"Activate calibrationheader table");
  NewCalibrationHeaderTable.Open();
  ShowStatus(L"Activate calibrationcolumns table");
  NewCalibrationColumnsTable.Open();
  ShowStatus(L"Activate inspectors table");
  OldInspectorsTable.Open();
  ShowStatus(L"Activate disposition table");
  OldDispositionTable.Open();
  ShowStatus(L"Activate gagecolumns table");
  NewGageColumnsTable.Open();
  OldFrequencyTable.Open();
  OldLocationTable.Open();
  OldTracibilityTable.Open();
  OldOwnershipTable.Open();
}

bool TForm8::CopyGauge() {
  auto& old = OldGageMasterTable;
  old.FieldByName(link_field_).AsInteger();  // read so that a missing link column fails here
  const std::string description = old.FieldByName("gagedescription").AsString();
  const std::string type = old.FieldByName("gagetype").AsString();
  const std::string location = old.FieldByName("gagelocation").AsString();
  const std::string serial = old.FieldByName("gagesn").AsString();
  // The frequency travels as a single-precision value.
  const float frequency = static_cast<float>(old.FieldByName("frequency").AsFloat());
  const std::string tracibility = old.FieldByName("tracibility").AsString();
  const bool active = old.FieldByName("active").AsBoolean();
  old.FieldByName("purchasevalue").AsFloat();
  const std::string ownership = old.FieldByName("ownership").AsString();
  const std::string picture = old.FieldByName("PicLink").AsString();
  const std::string memo = old.FieldByName("gagememo").AsString();
  const double due_date = old.FieldByName("duedate").AsDateTime();
  old.FieldByName("category").AsString();

  ShowGauge(framework::Utf8ToWide(description));

  auto& gauge = NewGagemasterTable;
  gauge.Insert();
  gauge.FieldByName("gagedescription").SetAsString(description);
  gauge.FieldByName("gagetype").SetAsString(type);
  gauge.FieldByName("gageSN").SetAsString(serial);
  gauge.FieldByName("gagelocation").SetAsString(location);
  if (frequency > 0) gauge.FieldByName("frequency").SetAsFloat(frequency);
  if (due_date > 0) gauge.FieldByName("duedate").SetAsDateTime(due_date);
  gauge.FieldByName("gagememo").SetAsString(memo);
  gauge.FieldByName("ownership").SetAsString(ownership);
  gauge.FieldByName("PictureLink").SetAsString(picture);
  gauge.FieldByName("tracibility").SetAsString(tracibility);
  gauge.FieldByName("active").SetAsBoolean(active);
  gauge.FieldByName("CheckedOut").SetAsInteger(0);
  gauge.Post();
  gauge_key_ = GetLastIdentity();

  calibration_key_.reset();
  auto& details = OLdGageDetailsTable;
  details.First();
  if (details.RecordCount() > 0) WriteCalibrationHeader();
  while (!details.Eof()) {
    if (StopRequested) return false;
    WriteTestPoint();
    details.Next();
  }
  return true;
}

void TForm8::WriteCalibrationHeader() {
  auto& details = OLdGageDetailsTable;
  const int link = details.FieldByName(link_field_).AsInteger();
  details.FieldByName("testpoint").AsString();
  details.FieldByName("actual").AsString();
  const double inspected = details.FieldByName("dateinspected").AsDateTime();
  const std::string disposition = details.FieldByName("disposition").AsString();
  const std::string inspector = details.FieldByName("inspby").AsString();
  if (link <= 0 || !(inspected > 0)) return;

  auto& header = NewCalibrationHeaderTable;
  header.Insert();
  header.FieldByName("gage_id").SetAsInteger(gauge_key_);
  header.FieldByName("calibrationdate").SetAsDateTime(inspected);
  header.FieldByName("disposition").SetAsString(disposition);
  header.FieldByName("inspector").SetAsString(inspector);
  header.Post();
  calibration_key_ = GetLastIdentity();
}

void TForm8::WriteTestPoint() {
  auto& details = OLdGageDetailsTable;
  test_point_key_.reset();
  const int link = details.FieldByName(link_field_).AsInteger();
  const std::string test_point = details.FieldByName("testpoint").AsString();
  const std::string actual = details.FieldByName("actual").AsString();
  details.FieldByName("dateinspected").AsDateTime();
  details.FieldByName("disposition").AsString();
  details.FieldByName("inspby").AsString();
  if (link <= 0) return;

  if (!test_point.empty()) {
    auto& points = NewTestPointsTable;
    points.Insert();
    points.FieldByName("test_point").SetAsString(test_point);
    points.FieldByName("gage_id").SetAsInteger(gauge_key_);
    points.Post();
    test_point_key_ = GetLastIdentity();
  }
  if (!actual.empty()) {
    // A key whose row was not stored for this gauge or row stays null: a reading must not be
    // linked to another gauge's calibration or test point.
    auto& results = NewTestPointsResultsTable;
    results.Insert();
    if (test_point_key_) results.FieldByName("testpoint_id").SetAsInteger(*test_point_key_);
    results.FieldByName("result").SetAsString(actual);
    if (calibration_key_) results.FieldByName("calibration_id").SetAsInteger(*calibration_key_);
    results.Post();
  }
}

void TForm8::CleanUp() {
  OLdGageDetailsTable.Close();
  NewTestPointsTable.Close();
  NewTestPointsResultsTable.Close();
  NewGagemasterTable.Close();
  OldGageMasterTable.Close();
  NewCalibrationHeaderTable.Close();
  NewCalibrationColumnsTable.Close();
  SetBusyCursor(false);
  SetProgressPosition(0);
  ShowStatus(L"Finished");
}

int TForm8::GetLastIdentity() {
  framework::data::Query query("IdentityQuery");
  query.SetConnection(&NewGageConnection);
  query.SetSql("select @@IDENTITY as ID_NUMBER");
  query.Open();
  const int key = query.FieldByName("ID_NUMBER").AsInteger();
  query.Close();
  return key;
}

}  // namespace translator
