// The rows of a version 1 gauge database as the translation copies them, read by the engine
// alone, and the same rows stored by the engine alone (one post at a time, each key read back
// as the run reads it): the peer that the translation benchmarks measure against.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "jetdb/jetdb.h"

namespace bench {

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

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline std::vector<Gauge> ReadOldGauges(const std::string& path, std::size_t& detail_count) {
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

// Stores the rows the run stores into the new database at path; returns the seconds taken.
inline double StoreWithEngineAlone(const std::vector<Gauge>& gauges, const std::string& path) {
  using jetdb::Value;
  auto database = jetdb::Database::Open(path, jetdb::Access::kReadWrite);
  auto master = database->OpenWriter("GageMaster");
  auto headers = database->OpenWriter("CalibrationHeader");
  auto points = database->OpenWriter("TestPoints");
  auto results = database->OpenWriter("TestPointResults");
  auto identity = [&] { return database->Query("select @@IDENTITY as ID_NUMBER").value; };
  const auto start = std::chrono::steady_clock::now();
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
  return SecondsSince(start);
}

}  // namespace bench
