// The database objects of the translator window: the two connections with their first
// connection strings, and the fourteen tables with the master/detail link of the old gauges.
#include "translator/form8.h"

namespace translator {

namespace {

// What the connections name before the first run; every run replaces it before connecting.
std::wstring DefaultConnectionString(const wchar_t* file) {
  return std::wstring(
             L"Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;"
             L"Data Source=C:\\Users\\Public\\Documents\\Branvik\\Quenloft\\") +
         file +
         L";Mode=Share Deny None;Jet OLEDB:System database=\"\";Jet OLEDB:Registry Path=\"\";"
         L"Jet OLEDB:Database Password=\"\";Jet OLEDB:New Database Password=\"\";"
         L"Jet OLEDB:Engine Type=5;Jet OLEDB:Database Locking Mode=1;"
         L"Jet OLEDB:Global Partial Bulk Ops=2;Jet OLEDB:Global Bulk Transactions=1;"
         L"Jet OLEDB:Create System Database=False;Jet OLEDB:Encrypt Database=False;"
         L"Jet OLEDB:Don't Copy Locale on Compact=False;"
         L"Jet OLEDB:Compact Without Replica Repair=False;Jet OLEDB:SFP=False";
}

}  // namespace

void TForm8::SetUpDatabaseObjects() {
  using framework::data::Connection;
  using framework::data::ConnectMode;
  using framework::data::Table;

  OldGageConnection.SetConnectionString(DefaultConnectionString(L"GagesOld.mdb"));
  OldGageConnection.SetMode(ConnectMode::kReadOnly);  // the old database is never written
  NewGageConnection.SetConnectionString(DefaultConnectionString(L"GagesNew.mdb"));
  NewGageConnection.SetMode(ConnectMode::kReadWrite);

  const struct {
    Table& table;
    Connection& connection;
    const char* name;
  } tables[] = {
      {OldGageMasterTable, OldGageConnection, "GageMaster"},
      {OLdGageDetailsTable, OldGageConnection, "GageDetails"},
      {OldInspectorsTable, OldGageConnection, "dInspectors"},
      {OldDispositionTable, OldGageConnection, "dDisposition"},
      {OldFrequencyTable, OldGageConnection, "dFrequency"},
      {OldLocationTable, OldGageConnection, "dLocation"},
      {OldTracibilityTable, OldGageConnection, "dTracibility"},
      {OldOwnershipTable, OldGageConnection, "dOwnership"},
      {NewGagemasterTable, NewGageConnection, "GageMaster"},
      {NewCalibrationHeaderTable, NewGageConnection, "CalibrationHeader"},
      {NewTestPointsTable, NewGageConnection, "TestPoints"},
      {NewTestPointsResultsTable, NewGageConnection, "TestPointResults"},
      {NewGageColumnsTable, NewGageConnection, "GageColumns"},
      {NewCalibrationColumnsTable, NewGageConnection, "CalibrationColumns"},
  };
  for (const auto& t : tables) {
    t.table.SetConnection(&t.connection);
    t.table.SetTableName(t.name);
  }
  OldGageMasterDatasource.SetDataSet(&OldGageMasterTable);
  OLdGageDetailsTable.SetMasterSource(&OldGageMasterDatasource);
}

}  // namespace translator
