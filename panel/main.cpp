// velpanel: the control panel of Velmora. Without parameters it shows the
// settings and the state of the service; with the single parameter "about" it
// shows the About box.
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "panel/control_panel_dialog.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "service/settings_store.h"

namespace {

// The panel's caption, as its dialog resource gives it.
constexpr wchar_t kPanelCaption[] = L"Velmora Control Panel";

// What the command line asks for.
enum class Request { Panel, About, Unknown };

Request ParseCommandLine(std::wstring& unknown) {
  int count = 0;
  const plat::UniqueLocal block(CommandLineToArgvW(GetCommandLineW(), &count));
  if (!block) {
    return Request::Panel;
  }
  auto* const arguments = static_cast<LPWSTR*>(block.get());
  Request request = Request::Panel;
  if (count == 2 && plat::CompareNoCase(arguments[1], L"about") == 0) {
    request = Request::About;
  } else if (count > 1) {
    request = Request::Unknown;
    unknown = arguments[1];
  }
  return request;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  std::wstring unknown;
  switch (ParseCommandLine(unknown)) {
    case Request::About:
      ShowAboutBox(instance, nullptr);
      return 0;
    case Request::Unknown: {
      const std::wstring text = L"Unknown parameter \"" + unknown +
                                L"\".\n\nStart velpanel.exe without parameters to change the "
                                L"settings, or with \"about\" to see its version.";
      MessageBoxW(nullptr, text.c_str(), kPanelCaption, MB_OK | MB_ICONWARNING);
      return 2;
    }
    case Request::Panel:
      break;
  }
  // Started again (a second click on the tray icon), it brings the open panel
  // to the front instead of opening another.
  if (HWND open = FindWindowW(L"#32770", kPanelCaption)) {
    if (IsIconic(open)) {
      ShowWindow(open, SW_RESTORE);
    }
    SetForegroundWindow(open);
    return 0;
  }
  ControlPanelDialog dialog(TotalPhysicalBytes());
  dialog.Run(instance);
  return 0;
}
