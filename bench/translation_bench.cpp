// translation_bench OLD.mdb EMPTY_NEW.mdb [--hidden]
//
// The translation of a large version 1 database through the real window, beside the time the
// engine alone needs to store the same rows (one post at a time, each key read back as the run
// reads it). The difference is the translator's own cost: reading the old rows, the
// master/detail link, the data-access layer, the window. With --hidden the window is never
// shown, so nothing is painted: the difference to a shown run is the cost of painting.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/text.h"
#include "jetdb/jetdb.h"
#include "translator/form8.h"

namespace {

namespace fs = std::filesystem;

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Detail {
  std::int64_t link;
  std::string point, actual, disposition, inspector;
  double inspected;
};
struct Gauge {
  std::int64_t link;
  std::string texts[9];  // description, type, serial, location, tracibility, ownership,
                         // picture, memo, category
  double frequency, due;
  bool active;
  std::vector<Detail> details;
};

std::vector<Gauge> ReadOld(const std::string& path, std::size_t& detail_count) {
  auto database = jetdb::Database::Open(path);
  const jetdb::Table master = database->OpenTable("GageMaster");
  const char* names[] = {"gagedescription", "gagetype", "gagesn",   "gagelocation", "tracibility",
                         "ownership",       "PicLink",  "gagememo", "category"};
  std::vector<Gauge> gauges;
  std::map<std::int64_t, std::vector<std::size_t>> by_link;
  for (jetdb::Cursor c = master.Rows(); c.Next();) {
    Gauge g;
    g.link = c.Integer(master.GetColumn("gage_id"));
    for (int i = 0; i < 9; ++i) g.texts[i] = c.Text(master.GetColumn(names[i]));
    g.frequency = static_cast<float>(c.Double(master.GetColumn("frequency")));
    g.due = c.DateTime(master.GetColumn("duedate"));
    g.active = c.Boolean(master.GetColumn("active"));
    by_link[g.link].push_back(gauges.size());
    gauges.push_back(std::move(g));
  }
  const jetdb::Table details = database->OpenTable("GageDetails");
  detail_count = 0;
  for (jetdb::Cursor c = details.Rows(); c.Next(); ++detail_count) {
    Detail d{
        c.Integer(details.GetColumn("gage_id")), c.Text(details.GetColumn("testpoint")),
        c.Text(details.GetColumn("actual")),     c.Text(details.GetColumn("disposition")),
        c.Text(details.GetColumn("inspby")),     c.DateTime(details.GetColumn("dateinspected"))};
    for (std::size_t g : by_link[d.link]) gauges[g].details.push_back(d);
  }
  return gauges;
}

// The rows the run stores, stored by the engine alone.
double EngineAlone(const std::vector<Gauge>& gauges, const std::string& path) {
  using jetdb::Value;
  auto database = jetdb::Database::Open(path, jetdb::Access::kReadWrite);
  auto master = database->OpenWriter("GageMaster");
  auto headers = database->OpenWriter("CalibrationHeader");
  auto points = database->OpenWriter("TestPoints");
  auto results = database->OpenWriter("TestPointResults");
  auto identity = [&] { return database->Query("select @@IDENTITY as ID_NUMBER").value; };
  const double start = Now();
  for (const Gauge& g : gauges) {
    jetdb::RowValues row = {
        {"gagedescription", Value::Text(g.texts[0])}, {"gagetype", Value::Text(g.texts[1])},
        {"gageSN", Value::Text(g.texts[2])},          {"gagelocation", Value::Text(g.texts[3])},
        {"tracibility", Value::Text(g.texts[4])},     {"ownership", Value::Text(g.texts[5])},
        {"PictureLink", Value::Text(g.texts[6])},     {"gagememo", Value::Text(g.texts[7])},
        {"active", Value::Boolean(g.active)},         {"CheckedOut", Value::Integer(0)}};
    if (g.frequency > 0) row.push_back({"frequency", Value::Number(g.frequency)});
    if (g.due > 0) row.push_back({"duedate", Value::DateTime(g.due)});
    master.Insert(row);
    const std::int64_t gauge_key = identity();
    std::int64_t calibration_key = 0;
    if (!g.details.empty() && g.details[0].link > 0 && g.details[0].inspected > 0) {
      const Detail& d = g.details[0];
      headers.Insert({{"gage_id", Value::Integer(gauge_key)},
                      {"calibrationdate", Value::DateTime(d.inspected)},
                      {"disposition", Value::Text(d.disposition)},
                      {"inspector", Value::Text(d.inspector)}});
      calibration_key = identity();
    }
    for (const Detail& d : g.details) {
      if (d.link <= 0) continue;
      std::int64_t point_key = 0;
      if (!d.point.empty()) {
        points.Insert(
            {{"test_point", Value::Text(d.point)}, {"gage_id", Value::Integer(gauge_key)}});
        point_key = identity();
      }
      if (!d.actual.empty()) {
        jetdb::RowValues result = {{"result", Value::Text(d.actual)}};
        if (point_key) result.push_back({"testpoint_id", Value::Integer(point_key)});
        if (calibration_key) result.push_back({"calibration_id", Value::Integer(calibration_key)});
        results.Insert(result);
      }
    }
  }
  return Now() - start;
}

double ThroughTheWindow(const fs::path& old_file, bool shown) {
  auto& app = framework::Application::Instance();
  app.Initialize();
  translator::TForm8 form;
  if (shown) ShowWindow(form.Handle(), SW_SHOWNORMAL);
  app.ProcessMessages();
  form.SetEditText(old_file.wstring());
  const double start = Now();
  SendMessageW(form.Control(L"BitBtn1"), BM_CLICK, 0, 0);
  const double seconds = Now() - start;
  if (framework::WindowText(form.Control(L"Label3")) != L"Finished")
    std::fprintf(stderr, "translation_bench: the run did not finish\n");
  return seconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool shown = !(argc == 4 && std::wstring(argv[3]) == L"--hidden");
  if (argc != 3 && shown) {
    std::fprintf(stderr, "usage: translation_bench OLD.mdb EMPTY_NEW.mdb [--hidden]\n");
    return 2;
  }
  try {
    const fs::path old_file = argv[1], empty_new = argv[2];
    const fs::path work = fs::temp_directory_path() / "pelmora translation bench";
    fs::remove_all(work);
    fs::create_directories(work / "engine");
    fs::create_directories(work / "window");
    fs::copy_file(empty_new, work / "engine" / "gagesnew.mdb");
    fs::copy_file(empty_new, work / "window" / "gagesnew.mdb");
    fs::copy_file(old_file, work / "window" / "old.mdb");

    std::size_t detail_count = 0;
    const auto gauges = ReadOld(framework::WideToUtf8(old_file.wstring()), detail_count);
    const double engine =
        EngineAlone(gauges, framework::WideToUtf8((work / "engine" / "gagesnew.mdb").wstring()));
    const double window = ThroughTheWindow(work / "window" / "old.mdb", shown);
    std::printf("gauges %zu, detail rows %zu\n", gauges.size(), detail_count);
    std::printf("engine alone:       %8.2f s\n", engine);
    std::printf("through the window%s: %8.2f s  (%.0f gauges/s)\n", shown ? "" : " (hidden)",
                window, static_cast<double>(gauges.size()) / window);
    std::printf("window / engine:    %8.2f\n", window / engine);
    std::printf("new database: %.1f MB\n",
                static_cast<double>(fs::file_size(work / "window" / "gagesnew.mdb")) / 1e6);
    fs::remove_all(work);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "translation_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
