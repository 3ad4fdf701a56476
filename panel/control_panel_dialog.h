// ControlPanelDialog: the control panel's window. It shows the ten settings
// with their meaning and accepted values, writes the ones the user changed,
// and shows the service, the file cache and the available memory every second.
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "common/system_cache_control.h"
#include "panel/settings_panel.h"

class ControlPanelDialog {
 public:
  explicit ControlPanelDialog(uint64_t totalPhysBytes);

  // Shows the panel and returns when the user closes it.
  void Run(HINSTANCE instance);

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  void OnInit(HWND window);
  // Puts the loaded values and their notes into the rows.
  void ShowValues();
  void ShowRow(size_t index);
  // Checks the changed fields, writes them and reports what happened.
  void OnApply();
  void RefreshStatus();
  // Red for the refused fields' messages.
  INT_PTR OnColorStatic(HDC dc, HWND control);

  SettingsPanel panel_;
  SystemCacheControl cache_;
  HWND window_ = nullptr;
  bool readOnly_ = true;
  std::array<std::wstring, kSettingCount> loadedText_;  // the fields as filled in
};

// The About box: name, version, description, copyright and licence.
void ShowAboutBox(HINSTANCE instance, HWND owner);
