// Layout of the translator window: client coordinates in pixels at 96 dpi. The order of
// the entries is the creation order, which is also the tab order of the focusable ones.
#pragma once

#include "resources/resource_ids.h"

namespace resources {

enum class ControlKind { Label, WrappedLabel, Edit, FlatImageButton, ProgressBar, Button };

struct ControlLayout {
  const wchar_t* name;
  ControlKind kind;
  int left, top, width, height;
  const wchar_t* text;
  int id;
  int glyph = 0;         // BITMAP resource of the control's image, 0 for none
  int glyph_states = 1;  // images side by side in it: normal, then greyed
};

inline constexpr const wchar_t* kForm8Caption = L"Quenloft Database Translator";
inline constexpr int kForm8ClientWidth = 498;
inline constexpr int kForm8ClientHeight = 273;
inline constexpr const wchar_t* kForm8Font = L"Tahoma";
inline constexpr int kForm8FontHeight = 11;

inline constexpr ControlLayout kForm8Controls[] = {
    {L"Edit1", ControlKind::Edit, 16, 56, 457, 21, L"", 100},
    {L"BitBtn1", ControlKind::Button, 92, 228, 75, 25, L"Run", 1 /* IDOK */, IDB_RUN_CHECK, 2},
    {L"BitBtn2", ControlKind::Button, 324, 228, 75, 25, L"Close", 2 /* IDCANCEL */,
     IDB_CLOSE_CROSS},
    {L"ProgressBar1", ControlKind::ProgressBar, 16, 184, 457, 21, nullptr, 101},
    {L"Label1", ControlKind::Label, 16, 37, 179, 13, L"Enter Version 1 Access Database file:", 102},
    {L"SpeedButton1", ControlKind::FlatImageButton, 208, 28, 23, 22, L"", 103, IDB_OPEN_FOLDER},
    {L"Label4", ControlKind::WrappedLabel, 32, 87, 258, 26,
     L"Will send result to GagesNew.mdb in same directory.  Change filename to Gages.mdb  "
     L"before use.",
     104},
    {L"Label2", ControlKind::Label, 32, 139, 35, 13, L"Status:", 105},
    {L"Label3", ControlKind::Label, 32, 163, 12, 13, L"---", 106},
};

}  // namespace resources
