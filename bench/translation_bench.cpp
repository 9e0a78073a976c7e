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
#include <string>

#include "bench/translation_rows.h"
#include "framework/application.h"
#include "framework/text.h"
#include "translator/form8.h"

namespace {

namespace fs = std::filesystem;

double ThroughTheWindow(const fs::path& old_file, bool shown) {
  auto& app = framework::Application::Instance();
  app.Initialize();
  translator::TForm8 form;
  if (shown) ShowWindow(form.Handle(), SW_SHOWNORMAL);
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
  const bool shown = !(argc == 4 && std::wstring(argv[3]) == L"--hidden");
  if (argc != 3 && shown) {
    std::fprintf(stderr, "usage: translation_bench OLD.mdb EMPTY_NEW.mdb [--hidden]\n");
    return 2;
  }
  try {
    const fs::path old_file = argv[1], empty_new = argv[2];
    const fs::path work = fs::temp_directory_path() / "pelmora translation bench";
    fs::remove_all(work);
    for (const char* folder : {"engine before", "window", "engine after"}) {
      fs::create_directories(work / folder);
      fs::copy_file(empty_new, work / folder / "gagesnew.mdb");
    }
    fs::copy_file(old_file, work / "window" / "old.mdb");

    std::size_t detail_count = 0;
    const auto gauges =
        bench::ReadOldGauges(framework::WideToUtf8(old_file.wstring()), detail_count);
    const auto engine_alone = [&](const char* folder) {
      return bench::StoreWithEngineAlone(
          gauges, framework::WideToUtf8((work / folder / "gagesnew.mdb").wstring()));
    };
    // The engine's time is taken before and after the window's, and their mean is the peer:
    // on a shared machine the speed drifts during a run of a minute.
    const double before = engine_alone("engine before");
    const double window = ThroughTheWindow(work / "window" / "old.mdb", shown);
    const double after = engine_alone("engine after");
    const double engine = (before + after) / 2;
    std::printf("gauges %zu, detail rows %zu\n", gauges.size(), detail_count);
    std::printf("engine alone:       %8.2f s  (%.2f s before, %.2f s after)\n", engine, before,
                after);
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
