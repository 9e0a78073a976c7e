// The column definitions of the new database's gauge and calibration lists, with the pick
// lists built from the old database's lookup tables.
#include "translator/form8.h"

namespace translator {

void TForm8::ClearNewTables() {
  framework::data::Table* const tables[] = {&NewTestPointsTable,         &NewTestPointsResultsTable,
                                            &NewGagemasterTable,         &NewCalibrationHeaderTable,
                                            &NewCalibrationColumnsTable, &NewGageColumnsTable};
  for (auto* table : tables) {
    while (!table->Eof()) table->Delete();
  }
}

void TForm8::WriteCalibrationColumns() {
  auto& target = NewCalibrationColumnsTable;
  WriteColumnDefinition(target, 1, "Inspector", "Inspector", &OldInspectorsTable, "initials");
  WriteColumnDefinition(target, 2, "Disposition", "Disposition", &OldDispositionTable,
                        "Disposition");
  WriteColumnDefinition(target, 3, "Memo", "TestMemo");
  WriteColumnDefinition(target, 4, "Standard", "Standard");
}

void TForm8::WriteGageColumns() {
  auto& target = NewGageColumnsTable;
  WriteColumnDefinition(target, 1, "Gage ID", "GageSN");
  WriteColumnDefinition(target, 2, "Gage Type", "GageType");
  WriteColumnDefinition(target, 3, "Description", "GageDescription");
  WriteColumnDefinition(target, 4, "Location", "GageLocation", &OldLocationTable, "location");
  WriteColumnDefinition(target, 5, "Memo", "GageMemo");
  WriteColumnDefinition(target, 6, "Due Date", "DueDate");
  WriteColumnDefinition(target, 7, "Frequency", "Frequency", &OldFrequencyTable, "months");
  WriteColumnDefinition(target, 8, "Active", "Active");
  WriteColumnDefinition(target, 9, "Tracibility", "Tracibility", &OldTracibilityTable,
                        "Tracibility");
  WriteColumnDefinition(target, 10, "Owner", "Ownership", &OldOwnershipTable, "OwnerShip");
}

void TForm8::WriteColumnDefinition(framework::data::Table& target, int order, const char* heading,
                                   const char* field_name, framework::data::Table* pick_list,
                                   const char* pick_list_column) {
  target.Insert();
  target.FieldByName("order").SetAsInteger(order);
  target.FieldByName("heading").SetAsString(heading);
  target.FieldByName("fieldname").SetAsString(field_name);
  if (pick_list) {
    // The frequencies are listed in their own order, not as stored.
    if (pick_list == &OldFrequencyTable) pick_list->SetIndexFieldNames("Ordering");
    pick_list->First();
    std::string items;
    while (!pick_list->Eof()) {
      items += pick_list->FieldByName(pick_list_column).AsString();
      items += "\r\n";
      pick_list->Next();
    }
    target.FieldByName("listitems").SetAsString(items);
  }
  target.Post();
}

}  // namespace translator
