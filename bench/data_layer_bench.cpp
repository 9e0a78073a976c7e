// data_layer_bench OLD.mdb EMPTY_NEW.mdb [LAYER_OUT.mdb]
//
// The translation's copy loop through the data-access layer (framework/data) without a window,
// beside the engine alone storing the same rows, in the same run: the ratio is what the
// data-access layer adds to the engine. The loop makes the reads and writes the run makes, in
// its order: every listed column read, one post at a time, each key read back through a
// query data set. Built for the host (fast to profile) and for Windows (under Wine). The file
// the layer wrote is kept as LAYER_OUT.mdb when named, to compare a change of the layer with cmp.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "bench/translation_rows.h"
#include "framework/data/data.h"

namespace {

namespace fs = std::filesystem;
using framework::data::Connection;
using framework::data::DataSet;
using framework::data::DataSource;
using framework::data::Table;

struct Copier {
  Connection old_connection{"OldGageConnection"};
  Connection new_connection{"NewGageConnection"};
  Table old_master{"OldGageMasterTable"};
  Table old_details{"OLdGageDetailsTable"};
  Table new_master{"NewGagemasterTable"};
  Table headers{"NewCalibrationHeaderTable"};
  Table points{"NewTestPointsTable"};
  Table results{"NewTestPointsResultsTable"};
  DataSource master_source{"OldGageMasterDatasource"};
  int gauge_key = 0;
  std::optional<int> calibration_key, point_key;

  int LastIdentity() {
    framework::data::Query query("IdentityQuery");
    query.SetConnection(&new_connection);
    query.SetSql("select @@IDENTITY as ID_NUMBER");
    query.Open();
    const int key = query.FieldByName("ID_NUMBER").AsInteger();
    query.Close();
    return key;
  }

  void Open(const std::string& old_path, const std::string& new_path) {
    old_connection.SetMode(framework::data::ConnectMode::kReadOnly);
    old_connection.SetConnectionString(L"Data Source=" +
                                       std::wstring(old_path.begin(), old_path.end()));
    new_connection.SetConnectionString(L"Data Source=" +
                                       std::wstring(new_path.begin(), new_path.end()));
    old_connection.Connect();
    new_connection.Connect();
    const struct {
      Table& table;
      Connection& connection;
      const char* name;
    } tables[] = {
        {old_master, old_connection, "GageMaster"}, {old_details, old_connection, "GageDetails"},
        {new_master, new_connection, "GageMaster"}, {headers, new_connection, "CalibrationHeader"},
        {points, new_connection, "TestPoints"},     {results, new_connection, "TestPointResults"}};
    for (const auto& t : tables) {
      t.table.SetConnection(&t.connection);
      t.table.SetTableName(t.name);
    }
    master_source.SetDataSet(&old_master);
    old_details.SetMasterSource(&master_source);
    old_master.Open();
    old_details.SetMasterFields("gage_id");
    old_details.SetIndexFieldNames("gage_id");
    for (Table* table : {&old_details, &new_master, &headers, &points, &results}) table->Open();
  }

  void CopyGauge() {
    auto& old = old_master;
    old.FieldByName("gage_id").AsInteger();
    const std::string description = old.FieldByName("gagedescription").AsString();
    const std::string type = old.FieldByName("gagetype").AsString();
    const std::string location = old.FieldByName("gagelocation").AsString();
    const std::string serial = old.FieldByName("gagesn").AsString();
    const float frequency = static_cast<float>(old.FieldByName("frequency").AsFloat());
    const std::string tracibility = old.FieldByName("tracibility").AsString();
    const bool active = old.FieldByName("active").AsBoolean();
    old.FieldByName("purchasevalue").AsFloat();
    const std::string ownership = old.FieldByName("ownership").AsString();
    const std::string picture = old.FieldByName("PicLink").AsString();
    const std::string memo = old.FieldByName("gagememo").AsString();
    const double due_date = old.FieldByName("duedate").AsDateTime();
    old.FieldByName("category").AsString();

    new_master.Insert();
    new_master.FieldByName("gagedescription").SetAsString(description);
    new_master.FieldByName("gagetype").SetAsString(type);
    new_master.FieldByName("gageSN").SetAsString(serial);
    new_master.FieldByName("gagelocation").SetAsString(location);
    if (frequency > 0) new_master.FieldByName("frequency").SetAsFloat(frequency);
    if (due_date > 0) new_master.FieldByName("duedate").SetAsDateTime(due_date);
    new_master.FieldByName("gagememo").SetAsString(memo);
    new_master.FieldByName("ownership").SetAsString(ownership);
    new_master.FieldByName("PictureLink").SetAsString(picture);
    new_master.FieldByName("tracibility").SetAsString(tracibility);
    new_master.FieldByName("active").SetAsBoolean(active);
    new_master.FieldByName("CheckedOut").SetAsInteger(0);
    new_master.Post();
    gauge_key = LastIdentity();

    calibration_key.reset();
    old_details.First();
    if (old_details.RecordCount() > 0) WriteHeader();
    for (; !old_details.Eof(); old_details.Next()) WritePoint();
  }

  void WriteHeader() {
    auto& d = old_details;
    const int link = d.FieldByName("gage_id").AsInteger();
    d.FieldByName("testpoint").AsString();
    d.FieldByName("actual").AsString();
    const double inspected = d.FieldByName("dateinspected").AsDateTime();
    const std::string disposition = d.FieldByName("disposition").AsString();
    const std::string inspector = d.FieldByName("inspby").AsString();
    if (link <= 0 || !(inspected > 0)) return;
    headers.Insert();
    headers.FieldByName("gage_id").SetAsInteger(gauge_key);
    headers.FieldByName("calibrationdate").SetAsDateTime(inspected);
    headers.FieldByName("disposition").SetAsString(disposition);
    headers.FieldByName("inspector").SetAsString(inspector);
    headers.Post();
    calibration_key = LastIdentity();
  }

  void WritePoint() {
    auto& d = old_details;
    point_key.reset();
    const int link = d.FieldByName("gage_id").AsInteger();
    const std::string point = d.FieldByName("testpoint").AsString();
    const std::string actual = d.FieldByName("actual").AsString();
    d.FieldByName("dateinspected").AsDateTime();
    d.FieldByName("disposition").AsString();
    d.FieldByName("inspby").AsString();
    if (link <= 0) return;
    if (!point.empty()) {
      points.Insert();
      points.FieldByName("test_point").SetAsString(point);
      points.FieldByName("gage_id").SetAsInteger(gauge_key);
      points.Post();
      point_key = LastIdentity();
    }
    if (!actual.empty()) {
      results.Insert();
      if (point_key) results.FieldByName("testpoint_id").SetAsInteger(*point_key);
      results.FieldByName("result").SetAsString(actual);
      if (calibration_key) results.FieldByName("calibration_id").SetAsInteger(*calibration_key);
      results.Post();
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: data_layer_bench OLD.mdb EMPTY_NEW.mdb [LAYER_OUT.mdb]\n");
    return 2;
  }
  try {
    const fs::path old_file = argv[1], empty_new = argv[2];
    const fs::path work = fs::temp_directory_path() / "pelmora_data_layer_bench";
    fs::remove_all(work);
    fs::create_directories(work);
    const fs::path engine_file = work / "engine.mdb", layer_file = work / "layer.mdb";
    for (const fs::path& copy : {engine_file, layer_file}) {
      fs::copy_file(empty_new, copy);
      fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add);
    }

    std::size_t detail_count = 0;
    const auto gauges = bench::ReadOldGauges(old_file.string(), detail_count);
    const double engine = bench::StoreWithEngineAlone(gauges, engine_file.string());

    double layer = 0;
    {
      // Timed from connecting, as the run is: the old tables are read in full when they open.
      const auto start = std::chrono::steady_clock::now();
      Copier copier;
      copier.Open(old_file.string(), layer_file.string());
      for (copier.old_master.First(); !copier.old_master.Eof(); copier.old_master.Next()) {
        copier.CopyGauge();
      }
      layer = bench::SecondsSince(start);
    }
    std::printf("gauges %zu, detail rows %zu\n", gauges.size(), detail_count);
    std::printf("engine alone:      %8.2f s\n", engine);
    std::printf("data-access layer: %8.2f s  (%.0f gauges/s)\n", layer,
                static_cast<double>(gauges.size()) / layer);
    std::printf("layer / engine:    %8.2f\n", layer / engine);
    const auto engine_size = fs::file_size(engine_file), layer_size = fs::file_size(layer_file);
    if (argc == 4) fs::copy_file(layer_file, argv[3], fs::copy_options::overwrite_existing);
    fs::remove_all(work);
    return engine_size == layer_size ? 0 : 1;  // the same rows make the same file
  } catch (const std::exception& e) {
    std::fprintf(stderr, "data_layer_bench: %s\n", e.what());
    return 1;
  }
}
