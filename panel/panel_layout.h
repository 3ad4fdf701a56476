// PanelLayout: the control panel's controls, their fonts for the window's
// DPI, and where each goes. Every text is sized to its content or wrapped to
// its column; the settings fill the left column, the live picture and the
// folded compatibility values the right one, or both stack in one column
// when the window is narrower than two.
#pragma once

#include <windows.h>

#include <array>

#include "panel/setting_catalog.h"
#include "panel/usage_chart_window.h"
#include "platform/win32/gdi_handles.h"

class PanelLayout {
 public:
  // A setting's controls; `label` is null for a switch, whose check box
  // carries its label.
  struct Row {
    HWND label = nullptr;
    HWND control = nullptr;
    HWND unit = nullptr;
    HWND lock = nullptr;
    HWND regName = nullptr;
    HWND meaning = nullptr;
    HWND note = nullptr;
    HWND error = nullptr;
  };

  PanelLayout() = default;
  ~PanelLayout();
  PanelLayout(const PanelLayout&) = delete;
  PanelLayout& operator=(const PanelLayout&) = delete;

  // Makes every control of `dialog`, in the order Tab walks them.
  void Create(HWND dialog, const SettingCatalog& catalog, const UsageHistory& history);

  // Fonts and sizes for `dpi`, set on every control.
  void SetDpi(int dpi);
  int dpi() const { return dpi_; }

  // Places every control for a client area `width` wide, the content moved
  // up by `scroll` pixels; returns the content's height.
  int Arrange(int width, int scroll);

  // The narrowest client width that shows the two columns, the width the
  // panel would rather have, and the narrowest of all: one column.
  int TwoColumnWidth();
  int PreferredWidth();
  int OneColumnWidth();

  void ShowAdvanced(bool shown);
  bool advancedShown() const { return advancedShown_; }

  // What is shown besides the settings, set before arranging: the policy's
  // lock beside a row, the buttons at the bottom, the service's button, and
  // the shields on the buttons that ask for an administrator.
  void SetLocked(size_t index, bool locked) { locked_[index] = locked; }
  struct Buttons {
    bool apply = true;
    bool changeSettings = false;
    bool service = false;
    bool serviceShield = false;
  };
  void SetButtons(const Buttons& buttons) { buttons_ = buttons; }

  // Whether a wrapping text needs another height than it has, after its text changed.
  bool NeedsNewHeight(HWND control);

  Row& row(size_t index) { return rows_[index]; }
  const Row& row(size_t index) const { return rows_[index]; }
  UsageChartWindow& chart() { return chart_; }
  HFONT font() const { return font_.get(); }

 private:
  struct Widths {
    int column1;
    int column2;
  };
  struct Placer;
  Widths NaturalWidths();
  int TextWidth(HWND control);
  int WrappedHeight(HWND control, int width);
  // The widest label of a row with a field or a drop-down in the column of `index`.
  int LabelWidth(size_t index);
  int FieldWidth();
  int ChoiceWidth(HWND combo);
  int CheckBoxIndent();
  int ButtonWidth(HWND button, bool shield);
  int RowWidth(size_t index);
  int ArrangeRow(Placer& place, size_t index, int x, int y, int width);
  HWND Item(int id) const { return GetDlgItem(dialog_, id); }

  HWND dialog_ = nullptr;
  const SettingCatalog* catalog_ = nullptr;
  std::array<Row, kSettingCount> rows_{};
  std::array<bool, kSettingCount> locked_{};
  Buttons buttons_;
  UsageChartWindow chart_;
  bool advancedShown_ = false;
  int dpi_ = 96;
  // Declared so that the context, which may hold a font, goes first.
  gdi::Object<HFONT> font_;
  gdi::Object<HFONT> boldFont_;
  gdi::MemoryDC measure_;  // a memory DC for measuring texts
  int line_ = 0;           // the font's line height
  int controlHeight_ = 0;  // a field, a drop-down or a check box
  int buttonHeight_ = 0;
};
