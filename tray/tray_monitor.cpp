#include "tray/tray_monitor.h"

#include "platform/platform.h"
#include "platform/win32/gdi_handles.h"
#include "tray/resources/resource.h"
#include "tray/service_presence.h"
#include "tray/tray_icon_choice.h"
#include "tray/tray_icon_renderer.h"

namespace {

// The running tray, for the window procedure and the memory actions' refresh.
TrayMonitor* gActive = nullptr;

constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerMs = 201;

// The platform's base DPI, at which small icons are 16 pixels square.
constexpr UINT kBaseDpi = 96;

using DpiForWindowCall = UINT(WINAPI*)(HWND);
using MetricForDpiCall = int(WINAPI*)(int, UINT);

// The DPI the window is shown at; the screen's where the system cannot tell
// a window's own (before Windows 10).
UINT DpiOf(HWND window) {
  static const auto dpiForWindow = reinterpret_cast<DpiForWindowCall>(
      plat::FindProc(plat::FindModule(L"user32.dll"), "GetDpiForWindow"));
  if (dpiForWindow != nullptr) {
    const UINT dpi = dpiForWindow(window);
    if (dpi != 0) {
      return dpi;
    }
  }
  gdi::ScreenDC screen;
  screen.reset(GetDC(nullptr));
  const int dpi = screen.get() != nullptr ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
  return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

// The size the notification area draws icons at for `dpi`: the system's small
// icon size for that DPI, or 16 scaled where the system cannot tell.
int32_t SmallIconSize(UINT dpi) {
  static const auto metricForDpi = reinterpret_cast<MetricForDpiCall>(
      plat::FindProc(plat::FindModule(L"user32.dll"), "GetSystemMetricsForDpi"));
  if (metricForDpi != nullptr) {
    const int size = metricForDpi(SM_CXSMICON, dpi);
    if (size > 0) {
      return size;
    }
  }
  return MulDiv(16, static_cast<int>(dpi), kBaseDpi);
}

}  // namespace

TrayMonitor::TrayMonitor(SystemCacheControl& cache, CSqueezeRam& squeezer,
                         TrayIconRenderer& renderer)
    : cache_(cache), squeezer_(squeezer), renderer_(renderer) {}

void TrayMonitor::Run(HINSTANCE instance) {
  if (FindWindowW(nullptr, kTrayWindowTitle) != nullptr) {
    return;  // another instance runs
  }
  notifyData_ = NOTIFYICONDATAW{};
  // The tip until the first reading.
  lstrcpynW(notifyData_.szTip, kTrayWindowTitle, kTipCapacity);
  tipShown_ = false;
  busyIcon_ = LoadIconW(instance, MAKEINTRESOURCEW(IDI_BUSY));
  renderer_.baseIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_BLANK));
  plat::MemoryStatus status{};
  plat::QueryMemoryStatus(status);
  renderer_.ready = true;
  renderer_.totalMB = static_cast<int32_t>(status.totalPhys >> 20);

  gActive = this;
  window = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_TRAY), nullptr, &WindowProc, 0);
  if (window == nullptr) {
    // Without a window nothing could end the loop: no icon, no loop.
    gActive = nullptr;
    return;
  }
  // The shell runs unelevated: an elevated velmon must let its messages in.
  ChangeWindowMessageFilterEx(window, taskbarCreatedMessage, MSGFLT_ALLOW, nullptr);
  ChangeWindowMessageFilterEx(window, notifyMessage, MSGFLT_ALLOW, nullptr);
  renderer_.SetSize(SmallIconSize(DpiOf(window)));
  menu = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_TRAY_MENU));
  SetTimer(window, kTimerId, kTimerMs, nullptr);
  SetWindowTextW(window, kTrayWindowTitle);
  ProbeService();
  NotifyIcon(NIM_ADD);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    DispatchMessageW(&message);
  }
  DestroyWindow(window);
  window = nullptr;
  DestroyMenu(menu);
  menu = nullptr;
  gActive = nullptr;
}

int TrayMonitor::NotifyIcon(DWORD action) {
  notifyData_.cbSize = NOTIFYICONDATAW_V1_SIZE;
  notifyData_.hWnd = window;
  notifyData_.uID = 1;
  notifyData_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  notifyData_.uCallbackMessage = notifyMessage;
  notifyData_.hIcon = CurrentIcon();
  Shell_NotifyIconW(action, &notifyData_);
  return 1;
}

HICON TrayMonitor::CurrentIcon() {
  const TrayIconChoice choice = ChooseTrayIcon();
  if (choice.busy) {
    return busyIcon_;
  }
  ShowTip(choice.availableMB, choice.memoryLoad);
  return renderer_.IconFor(static_cast<int32_t>(choice.availableMB));
}

void TrayMonitor::ShowTip(uint32_t availableMB, uint32_t memoryLoad) {
  // The record carries the tip to the shell with every icon it sends; its text
  // is rewritten only when the reading changed.
  if (tipShown_ && availableMB == tipMB_ && memoryLoad == tipLoad_) {
    return;
  }
  tipShown_ = true;
  tipMB_ = availableMB;
  tipLoad_ = memoryLoad;
  wchar_t tip[kTipCapacity];
  FormatTip(availableMB, memoryLoad, tip);
  lstrcpynW(notifyData_.szTip, tip, kTipCapacity);
}

void TrayMonitor::RefreshIcon() {
  notifyData_.hIcon = CurrentIcon();
  Shell_NotifyIconW(NIM_MODIFY, &notifyData_);
}

void TrayMonitor::RefreshActiveIcon() {
  if (gActive != nullptr) {
    gActive->RefreshIcon();
  }
}

void TrayMonitor::OnDpiChanged(UINT dpi) {
  renderer_.SetSize(SmallIconSize(dpi));
  RefreshIcon();
}

void TrayMonitor::ProbeService() {
  serviceEnabled = ServicePresent() ? 1 : 0;
  CheckMenuItem(GetSubMenu(menu, 0), IDM_ENABLE,
                MF_BYCOMMAND | (serviceEnabled != 0 ? MF_CHECKED : MF_UNCHECKED));
}

void TrayMonitor::OnTimer() {
  RefreshIcon();
  if (++tickCount > 11) {
    tickCount = 0;
    ProbeService();
  }
}

void TrayMonitor::ShowMenu() {
  HMENU trayMenu = GetSubMenu(menu, 0);
  SetForegroundWindow(window);
  POINT cursor{};
  GetCursorPos(&cursor);
  if (TrackPopupMenu(trayMenu, TPM_RIGHTALIGN, cursor.x, cursor.y, 0, window, nullptr)) {
    PostMessageW(window, WM_NULL, 0, 0);
  }
}

INT_PTR CALLBACK TrayMonitor::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (gActive == nullptr) {
    return FALSE;
  }
  if (gActive->window == nullptr) {
    gActive->window = window;  // messages that arrive while the dialog is made
  }
  return gActive->HandleMessage(message, wParam, lParam);
}

// Messages not handled here get the dialog manager's default processing.
INT_PTR TrayMonitor::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    NotifyIcon(NIM_DELETE);
    PostQuitMessage(0);
    return TRUE;
  }
  if (message == WM_COMMAND) {
    OnCommand(LOWORD(wParam));
    return FALSE;
  }
  if (message == WM_TIMER) {
    OnTimer();
    return TRUE;
  }
  if (message == notifyMessage) {
    if (lParam == WM_RBUTTONUP) {
      ShowMenu();
    } else if (lParam == WM_LBUTTONDOWN) {
      LaunchControlPanel();
      Sleep(2048);
    }
    return TRUE;
  }
  if (message == WM_DPICHANGED) {
    // The new DPI in both halves of wParam; the suggested rectangle does not
    // matter to a hidden window.
    OnDpiChanged(LOWORD(wParam));
    return TRUE;
  }
  if (message == taskbarCreatedMessage) {
    // The shell was restarted: the icon goes back with the whole record.
    NotifyIcon(NIM_ADD);
    return TRUE;
  }
  return FALSE;
}
