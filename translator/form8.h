// The translator window: file name field, Browse, Run and Close, status line and progress.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "framework/data/data.h"
#include "framework/glyph.h"

namespace translator {

// Set by Close, cleared at the start of each run; the run returns when it sees it.
extern bool StopRequested;

class TForm8 {
 public:
  TForm8();
  ~TForm8();
  TForm8(const TForm8&) = delete;
  TForm8& operator=(const TForm8&) = delete;

  HWND Handle() const { return hwnd_; }
  HWND Control(const wchar_t* name) const;

  void ShowStatus(const std::wstring& text);
  void SetBusyCursor(bool busy);
  std::wstring EditText() const;
  void SetEditText(const std::wstring& text);
  void SetProgressMax(int max);
  void SetProgressPosition(int position);
  int ProgressPosition() const;
  int ProgressMax() const;

  void SpeedButton1Click();
  void BitBtn1Click();
  void BitBtn2Click();

  // Replaces the translation behind Run, for tests of the window alone.
  std::function<void(TForm8&)> OnRun;
  // Closes the window, once no event handler of it is running any more.
  void Close();

  // The two databases and the tables the translation reads and writes; created closed.
  framework::data::Connection OldGageConnection{"OldGageConnection"};
  framework::data::Connection NewGageConnection{"NewGageConnection"};
  framework::data::Table OldGageMasterTable{"OldGageMasterTable"};
  framework::data::Table OLdGageDetailsTable{"OLdGageDetailsTable"};
  framework::data::Table OldInspectorsTable{"OldInspectorsTable"};
  framework::data::Table OldDispositionTable{"OldDispositionTable"};
  framework::data::Table OldFrequencyTable{"OldFrequencyTable"};
  framework::data::Table OldLocationTable{"OldLocationTable"};
  framework::data::Table OldTracibilityTable{"OldTracibilityTable"};
  framework::data::Table OldOwnershipTable{"OldOwnershipTable"};
  framework::data::Table NewGagemasterTable{"NewGagemasterTable"};
  framework::data::Table NewCalibrationHeaderTable{"NewCalibrationHeaderTable"};
  framework::data::Table NewTestPointsTable{"NewTestPointsTable"};
  framework::data::Table NewTestPointsResultsTable{"NewTestPointsResultsTable"};
  framework::data::Table NewGageColumnsTable{"NewGageColumnsTable"};
  framework::data::Table NewCalibrationColumnsTable{"NewCalibrationColumnsTable"};
  framework::data::DataSource OldGageMasterDatasource{"OldGageMasterDatasource"};

  // The translation (behind Run) and its steps.
  void Translate();
  void ClearNewTables();
  void WriteCalibrationColumns();
  void WriteGageColumns();
  // The auto-number key the last insert on the new database gave.
  int GetLastIdentity();

 private:
  static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  void CreateControls();
  template <typename Fn>
  void RunHandler(Fn&& fn);
  void SizeLabelToText(HWND label, const std::wstring& text);
  void FitWrappedLabel(HWND label, int width, int height);
  // Gives the status line the caption ShowGauge left for the display tick.
  void ShowPendingCaption();
  void DrawItem(const DRAWITEMSTRUCT& item);
  bool ShowsDefaultFrame(HWND button) const;
  void SetUpDatabaseObjects();
  void SetStatusLine(const std::wstring& text);
  // The per-gauge display of the run: the status caption and the progress position are shown
  // at the next display tick or when the run ends.
  void ShowGauge(const std::wstring& description);
  void AdvanceProgress(int position);
  void ArmDisplayTick();
  void FlushDisplay();
  void OpenTables();
  bool CopyGauge();  // false when the run is to stop
  void WriteCalibrationHeader();
  void WriteTestPoint();
  void CleanUp();
  void WriteColumnDefinition(framework::data::Table& target, int order, const char* heading,
                             const char* field_name, framework::data::Table* pick_list = nullptr,
                             const char* pick_list_column = nullptr);

  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;
  HDC measure_dc_ = nullptr;  // holds font_, for measuring label texts
  HWND controls_[16] = {};
  framework::Glyph glyphs_[16];
  HWND last_focus_ = nullptr;  // restored when the window is activated again
  int handler_depth_ = 0;
  bool close_pending_ = false;
  bool running_ = false;
  std::optional<int> pending_position_;
  std::optional<std::wstring> pending_caption_;  // Label3's caption at the next display tick
  bool display_tick_armed_ = false;
  UINT display_tick_ms_ = 100;  // follows what the last display cost
  // The open-file dialog keeps its folder and file name between uses.
  wchar_t dialog_file_[MAX_PATH] = {};

  // Values of one run.
  std::string link_field_;
  int gauge_counter_ = 0;
  int gauge_key_ = 0;
  // The keys a result row links to: set only while their rows belong to the current gauge
  // and detail row, so that a result never names another gauge's calibration or test point.
  std::optional<int> calibration_key_;
  std::optional<int> test_point_key_;
};

}  // namespace translator
