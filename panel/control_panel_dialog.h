// ControlPanelDialog: the control panel's window. It shows the settings in
// three groups with controls that fit them, writes the ones the user changed,
// and draws the last ten minutes of memory, file cache and squeezes beside
// the service's state and its Start or Stop button. Without the right to
// write the settings it offers to start again as an administrator, carrying
// the user's edits; it never closes over edits without asking.
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "common/system_cache_control.h"
#include "panel/carried_edits.h"
#include "panel/panel_layout.h"
#include "panel/settings_panel.h"
#include "panel/usage_chart.h"

class ControlPanelDialog {
 public:
  struct Options {
    FieldTexts edits;         // carried from the panel that started this one
    bool carried = false;     // started with edits: says so once it shows them
    std::wstring reportPath;  // the hidden test's layout report; empty: none
    bool limited = false;     // the hidden test's stand-in for a standard user's token
  };

  ControlPanelDialog(uint64_t totalPhysBytes, Options options);

  // Shows the panel and returns when the user closes it.
  void Run(HINSTANCE instance);

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  bool OnCommand(int id, int code);

  void OnInit(HWND window);
  // Puts a loaded value, its remark and its lock into its row.
  void ShowRow(size_t index);
  // What a row's control holds, as its field check reads it, and putting it back.
  std::wstring RowText(size_t index) const;
  void SetRowText(size_t index, const std::wstring& text);
  bool HasUnappliedEdits() const;
  FieldTexts Edits() const;
  // Checks the changed fields, writes them and reports what happened; true
  // when nothing is left unsaved.
  bool OnApply();
  void OnClose();
  void OnChangeSettings();
  void OnServiceButton();
  void OnServiceDone(bool done, bool started);
  void OnTimer();
  void ShowIntervalMeaning();
  void ShowButtons();
  void SetResult(const std::wstring& text);

  void SizeToContent();
  // Places the controls for the window's size; with `mayGrow`, after a text
  // grew, the window first grows to show it, as far as the screen allows.
  void Relayout(bool mayGrow = false);
  void OnScroll(int code);
  void OnDpiChanged(int dpi, const RECT* suggested);
  void OnMinMaxInfo(MINMAXINFO& info);
  INT_PTR OnColorStatic(HDC dc, HWND control);

  SettingsPanel panel_;
  SystemCacheControl cache_;
  UsageHistory history_;
  PanelLayout layout_;
  Options options_;
  HWND window_ = nullptr;
  bool writable_ = false;    // the settings key may be written
  bool canElevate_ = false;  // an administrator's rights would let this user write it
  bool elevated_ = false;
  bool allMissing_ = false;      // no value stored yet: the service has never run
  bool serviceRequest_ = false;  // a start or stop is under way
  uint32_t serviceState_ = 0xFFFFFFFEu;
  int scroll_ = 0;
  int contentHeight_ = 0;
  bool arranging_ = false;
  std::array<std::wstring, kSettingCount> loadedText_;  // the controls as filled in
  std::array<FixedText, 4> lines_;                      // the status lines as shown
};

// The About box: name, version, description, copyright and licence.
void ShowAboutBox(HINSTANCE instance, HWND owner);
