// TrayMonitor: velmon's one icon in the notification area, its hidden window,
// timer and menu, and the probes that keep icon and menu up to date.
#pragma once

#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <cstdint>

class SystemCacheControl;
class CSqueezeRam;
class TrayIconRenderer;

// Title of the hidden window; a second instance finds the first by it.
inline constexpr wchar_t kTrayWindowTitle[] = L"Velmora Tray Icon";

class TrayMonitor {
 public:
  TrayMonitor(SystemCacheControl& cache, CSqueezeRam& squeezer, TrayIconRenderer& renderer);

  TrayMonitor(const TrayMonitor&) = delete;
  TrayMonitor& operator=(const TrayMonitor&) = delete;

  // Runs the tray until its window is closed; returns at once when another
  // instance's window exists or the window cannot be created.
  void Run(HINSTANCE instance);

  // Sends the whole notify-icon record with NIM_ADD, NIM_MODIFY or NIM_DELETE.
  int NotifyIcon(DWORD action);

  // The busy picture while a squeeze runs anywhere, else the drawn memory icon;
  // the tip follows the reading.
  HICON CurrentIcon();

  // Sends the current icon to the shell.
  void RefreshIcon();

  // Sets serviceEnabled and the Enable check mark from the service's presence.
  void ProbeService();

  // Draws the icon at the small-icon size of the new DPI and sends it.
  void OnDpiChanged(UINT dpi);

  // Runs a menu command; other identifiers do nothing.
  void OnCommand(WORD identifier);

  HWND window = nullptr;
  HMENU menu = nullptr;
  int serviceEnabled = 1;
  int8_t tickCount = 0;
  UINT notifyMessage = 0;
  UINT taskbarCreatedMessage = 0;

 private:
  static INT_PTR CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnTimer();
  void ShowMenu();
  void ToggleService();
  static void RefreshActiveIcon();
  // Puts the tip for a reading into the notify-icon record.
  void ShowTip(uint32_t availableMB, uint32_t memoryLoad);

  SystemCacheControl& cache_;
  CSqueezeRam& squeezer_;
  TrayIconRenderer& renderer_;
  NOTIFYICONDATAW notifyData_{};
  HICON busyIcon_ = nullptr;
  // The reading the tip in notifyData_ shows, once one was shown.
  bool tipShown_ = false;
  uint32_t tipMB_ = 0;
  uint32_t tipLoad_ = 0;
};

// Starts the companion control panel, with no parameters.
void LaunchControlPanel();
// Starts the companion control panel with the parameter "about".
void ShowAbout();
// Opens the help file.
void OpenHelp();
// Starts or stops the service with the platform's net.exe, and waits (at most
// 30 s) for net.exe and, when it succeeded, for the service's new state.
void SetServiceEnabled(bool enable);
