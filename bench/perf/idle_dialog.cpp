// The floor of velpanel's cost while it is left open: a dialog program that
// receives the same one-second timer as velpanel's chart and does nothing
// with it. Shown in the same desktop, it pays what any open dialog with that
// timer pays (the message loop, the timer, the window in the desktop).
//
//   idle_dialog      shows the dialog until it is closed
#include <windows.h>

#include <cstdint>

namespace {

constexpr UINT_PTR kTimer = 1;

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetTimer(window, kTimer, 1000, nullptr);
      return TRUE;
    case WM_TIMER:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) {
        KillTimer(window, kTimer);
        EndDialog(window, 0);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

// A dialog template without controls, of about velpanel's size, built in
// memory: the template, then no menu, the default class and the caption.
struct Template {
  DLGTEMPLATE dialog;
  WORD menu;
  WORD windowClass;
  wchar_t caption[16];
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  alignas(4) static Template dialogTemplate = {
      {WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_VISIBLE, 0, 0, 10, 10, 600, 300},
      0,
      0,
      L"Idle dialog"};
  DialogBoxIndirectParamW(instance, &dialogTemplate.dialog, nullptr, DialogProc, 0);
  return 0;
}
