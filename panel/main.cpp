// velpanel: the control panel of Velmora. Without parameters it shows the
// settings and the state of the service; with the single parameter "about" it
// shows the About box. Two more parameters are what velpanel passes to itself
// when it starts again as an administrator: "edits NAME=TEXT..." opens the
// panel with the user's edits carried over, and "service start" or "service
// stop" starts or stops the service and ends (exit code 0 when done). For its
// test under Wine, the hidden "test-report FILE [test-limited]" opens the panel
// answering the layout check's messages, optionally as if its token were a
// standard user's.
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "panel/carried_edits.h"
#include "panel/control_panel_dialog.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "service/service_control.h"
#include "service/settings_store.h"

namespace {

// The panel's caption, as its dialog resource gives it.
constexpr wchar_t kPanelCaption[] = L"Velmora Control Panel";

// What the command line asks for.
enum class Request { Panel, About, StartService, StopService, Unknown };

bool Is(const wchar_t* argument, const wchar_t* word) {
  return plat::CompareNoCase(argument, word) == 0;
}

Request ParseCommandLine(const SettingCatalog& catalog, ControlPanelDialog::Options& options,
                         std::wstring& unknown) {
  int count = 0;
  const plat::UniqueLocal block(CommandLineToArgvW(GetCommandLineW(), &count));
  if (!block || count < 2) {
    return Request::Panel;
  }
  auto* const arguments = static_cast<LPWSTR*>(block.get());
  unknown = arguments[1];
  if (count == 2 && Is(arguments[1], L"about")) {
    return Request::About;
  }
  if (count == 3 && Is(arguments[1], L"service")) {
    if (Is(arguments[2], L"start")) {
      return Request::StartService;
    }
    if (Is(arguments[2], L"stop")) {
      return Request::StopService;
    }
    return Request::Unknown;
  }
  if (Is(arguments[1], kEditsParameter)) {
    options.carried = true;
    return ReadEdits(catalog, arguments + 2, static_cast<size_t>(count - 2), options.edits)
               ? Request::Panel
               : Request::Unknown;
  }
  // Hidden, for the panel's test: the layout report, and a limited token.
  if (count >= 3 && Is(arguments[1], L"test-report")) {
    options.reportPath = arguments[2];
    options.limited = count == 4 && Is(arguments[3], L"test-limited");
    return count == 3 || options.limited ? Request::Panel : Request::Unknown;
  }
  return Request::Unknown;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  const uint64_t totalPhysBytes = TotalPhysicalBytes();
  ControlPanelDialog::Options options;
  std::wstring unknown;
  switch (ParseCommandLine(MakeSettingCatalog(totalPhysBytes), options, unknown)) {
    case Request::About:
      ShowAboutBox(instance, nullptr);
      return 0;
    case Request::StartService:
      return ServiceControl::StartAndWait(kServiceName) ? 0 : 1;
    case Request::StopService:
      return ServiceControl::Stop(kServiceName) ? 0 : 1;
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
  // to the front instead of opening another; a panel carrying edits replaces
  // the one that started it, which is closing.
  HWND open = options.carried ? nullptr : FindWindowW(L"#32770", kPanelCaption);
  if (open != nullptr) {
    if (IsIconic(open)) {
      ShowWindow(open, SW_RESTORE);
    }
    SetForegroundWindow(open);
    return 0;
  }
  ControlPanelDialog dialog(totalPhysBytes, std::move(options));
  dialog.Run(instance);
  return 0;
}
