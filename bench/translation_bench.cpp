// translation_bench OLD.mdb EMPTY_NEW.mdb [--hidden] [--same-form] [--runs N]
//
// The translation of a large version 1 database through the real window, beside the time the
// engine alone needs to store the same rows (one post at a time, each key read back as the run
// reads it). The difference is the translator's own cost: reading the old rows, the
// master/detail link, the data-access layer, the window. With --hidden the window is never
// shown, so nothing is painted: the difference to a shown run is the cost of painting. Each
// run has a window of its own; with --same-form one window makes every run, as when the user
// presses Run again (under emulated Wine a run in each later window of a process has taken
// about two seconds more per window made before it; in one window the runs do not slow down).
//
// The machine's speed drifts over a minute, by a fifth and more under emulation, so the runs
// alternate: engine, window, engine, ... engine. Each window run is set against the mean of
// the engine's runs on either side, and the median of those ratios is the result (N window
// runs, 3 by default).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bench/translation_rows.h"
#include "framework/application.h"
#include "framework/text.h"
#include "translator/form8.h"

namespace {

namespace fs = std::filesystem;

double ThroughTheWindow(translator::TForm8& form, const fs::path& old_file) {
  auto& app = framework::Application::Instance();
  app.ProcessMessages();
  form.SetEditText(old_file.wstring());
  const auto start = std::chrono::steady_clock::now();
  SendMessageW(form.Control(L"BitBtn1"), BM_CLICK, 0, 0);
  const double seconds = bench::SecondsSince(start);
  if (framework::WindowText(form.Control(L"Label3")) != L"Finished")
    std::fprintf(stderr, "translation_bench: the run did not finish\n");
  return seconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  bool shown = true;
  bool same_form = false;
  int runs = 3;
  std::vector<std::wstring> files;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--hidden") {
      shown = false;
    } else if (arg == L"--same-form") {
      same_form = true;
    } else if (arg == L"--runs" && i + 1 < argc) {
      runs = std::max(1, _wtoi(argv[++i]));
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2) {
    std::fprintf(stderr,
                 "usage: translation_bench OLD.mdb EMPTY_NEW.mdb [--hidden] [--same-form] "
                 "[--runs N]\n");
    return 2;
  }
  try {
    const fs::path old_file = files[0], empty_new = files[1];
    const fs::path work = fs::temp_directory_path() / "pelmora translation bench";
    fs::remove_all(work);
    const auto fresh_copy = [&](const std::string& folder) {
      fs::create_directories(work / folder);
      fs::copy_file(empty_new, work / folder / "gagesnew.mdb");
      return work / folder;
    };

    std::size_t detail_count = 0;
    const auto gauges =
        bench::ReadOldGauges(framework::WideToUtf8(old_file.wstring()), detail_count);
    const auto engine_alone = [&](int run) {
      const fs::path folder = fresh_copy("engine " + std::to_string(run));
      const double seconds = bench::StoreWithEngineAlone(
          gauges, framework::WideToUtf8((folder / "gagesnew.mdb").wstring()));
      fs::remove_all(folder);
      return seconds;
    };
    framework::Application::Instance().Initialize();
    std::printf("gauges %zu, detail rows %zu\n", gauges.size(), detail_count);
    std::vector<double> ratios;
    double engine_before = engine_alone(0);
    double new_database_mb = 0;
    std::optional<translator::TForm8> form;
    for (int run = 1; run <= runs; ++run) {
      const fs::path folder = fresh_copy("window " + std::to_string(run));
      fs::copy_file(old_file, folder / "old.mdb");
      // A window per run, as a program started per conversion has, unless --same-form.
      if (!form) {
        form.emplace();
        if (shown) ShowWindow(form->Handle(), SW_SHOWNORMAL);
      }
      const double window = ThroughTheWindow(*form, folder / "old.mdb");
      new_database_mb = static_cast<double>(fs::file_size(folder / "gagesnew.mdb")) / 1e6;
      if (!same_form) {
        form.reset();  // closes its files
        fs::remove_all(folder);
      }
      const double engine_after = engine_alone(run);
      const double engine = (engine_before + engine_after) / 2;
      ratios.push_back(window / engine);
      std::printf(
          "run %d: engine %.2f s and %.2f s, through the window%s %.2f s (%.0f gauges/s): "
          "%.2f\n",
          run, engine_before, engine_after, shown ? "" : " (hidden)", window,
          static_cast<double>(gauges.size()) / window, window / engine);
      std::fflush(stdout);
      engine_before = engine_after;
    }
    std::sort(ratios.begin(), ratios.end());
    const std::size_t middle = ratios.size() / 2;
    const double median =
        ratios.size() % 2 ? ratios[middle] : (ratios[middle - 1] + ratios[middle]) / 2;
    std::printf("window / engine:    %8.2f (median of %d runs; from %.2f to %.2f)\n", median, runs,
                ratios.front(), ratios.back());
    std::printf("new database: %.1f MB\n", new_database_mb);
    form.reset();
    fs::remove_all(work);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "translation_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
