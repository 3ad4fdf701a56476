#include "panel/dpi_calls.h"

#include "platform/win32/gdi_handles.h"

namespace {

using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
using SystemParametersInfoForDpiCall = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
using GetSystemMetricsForDpiCall = int(WINAPI*)(int, UINT);
using AdjustWindowRectExForDpiCall = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
using SetDialogDpiChangeBehaviorCall = BOOL(WINAPI*)(HWND, int, int);

// The DDC_DISABLE_ALL of SetDialogDpiChangeBehavior.
constexpr int kDialogDpiChangeDisableAll = 1;

template <typename Call>
Call Bound(const char* name) {
  // Through a plain function type: the exported address carries no signature.
  return reinterpret_cast<Call>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

int SystemDpi() {
  const gdi::WindowDC screen(nullptr);
  const int dpi = screen.get() != nullptr ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
  return dpi > 0 ? dpi : 96;
}

}  // namespace

int WindowDpi(HWND window) {
  static const auto call = Bound<GetDpiForWindowCall>("GetDpiForWindow");
  const int dpi = call != nullptr ? static_cast<int>(call(window)) : 0;
  return dpi > 0 ? dpi : SystemDpi();
}

LOGFONTW MessageFontForDpi(int dpi) {
  static const auto call = Bound<SystemParametersInfoForDpiCall>("SystemParametersInfoForDpi");
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (call != nullptr &&
      call(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(dpi))) {
    return metrics.lfMessageFont;
  }
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, SystemDpi());
  return metrics.lfMessageFont;
}

int MetricForDpi(int index, int dpi) {
  static const auto call = Bound<GetSystemMetricsForDpiCall>("GetSystemMetricsForDpi");
  if (call != nullptr) {
    return call(index, static_cast<UINT>(dpi));
  }
  return MulDiv(GetSystemMetrics(index), dpi, SystemDpi());
}

void AdjustRectForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi) {
  static const auto call = Bound<AdjustWindowRectExForDpiCall>("AdjustWindowRectExForDpi");
  if (call == nullptr || !call(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi))) {
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
  }
}

void KeepDialogLayoutOwn(HWND dialog) {
  static const auto call = Bound<SetDialogDpiChangeBehaviorCall>("SetDialogDpiChangeBehavior");
  if (call != nullptr) {
    call(dialog, kDialogDpiChangeDisableAll, kDialogDpiChangeDisableAll);
  }
}
