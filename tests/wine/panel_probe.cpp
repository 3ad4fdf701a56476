// Drives a running velpanel from outside, as a user would with the keyboard:
// types into its fields, ticks its boxes, presses its buttons, reads its
// texts, and checks where its controls lie. The steps run in order; each
// prints one line (the layout report, its file's lines).
//
//   panel_probe [wait CAPTION] STEP...
//     wait CAPTION     waits up to 20 s for a visible top-level dialog with that
//                      caption ("Velmora Control Panel" without it); "found" or
//                      "missing"
//     set ROW TEXT     types TEXT into setting row ROW's field, or for a check
//                      box or a drop-down chooses TEXT (0 or 1), as a click
//                      would; "ok"
//     text ID          prints the text of the control with that id (a child of
//                      the dialog, or else of a dialog inside it)
//     press ID         presses the button with that id and waits until the
//                      window has done what it does; "ok"
//     post ID          presses it without waiting (for a button that opens a
//                      question of its own); "ok"
//     escape           presses Escape in the window; "ok"
//     gone             waits up to 10 s for the window to close; "gone" or "still there"
//     count            how many top-level windows carry the caption
//     state ID         "hidden", or "enabled"/"disabled" and for a check box
//                      "checked"/"clear"
//     rect ID          the control's rectangle on the screen: "LEFT TOP RIGHT BOTTOM"
//     frame            the window's rectangle on the screen, the same way
//     inside           every visible control lies within the window's client
//                      area, and the window within the screen's work area:
//                      "inside", or one line for each that does not
//     layout FILE      asks a velpanel started with "test-report FILE" to check
//                      its layout into FILE, and prints FILE
//     dpi N            asks that velpanel to lay itself out for N DPI; "ok"
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "panel/resources/resource.h"

namespace {

std::wstring Wide(const char* text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
  wide.resize(static_cast<size_t>(length - 1));
  return wide;
}

void PrintText(HWND control) {
  wchar_t text[512] = {};
  SendMessageW(control, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
  char utf8[1024] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), nullptr, nullptr);
  std::printf("%s\n", utf8);
}

struct Count {
  const std::wstring* caption;
  int windows;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM lParam) {
  auto* count = reinterpret_cast<Count*>(lParam);
  wchar_t title[128] = {};
  GetWindowTextW(window, title, 128);
  count->windows += *count->caption == title ? 1 : 0;
  return TRUE;
}

// The messages of panel/resources/resource.h, answered with "test-report".
constexpr UINT kReportMessage = VELPANEL_TEST_REPORT_MESSAGE;
constexpr UINT kDpiMessage = VELPANEL_TEST_DPI_MESSAGE;

void Choose(HWND window, HWND control, const std::string& text) {
  wchar_t className[32] = {};
  GetClassNameW(control, className, 32);
  const int id = GetDlgCtrlID(control);
  if (_wcsicmp(className, L"Button") == 0) {
    SendMessageW(control, BM_SETCHECK, text == "1" ? BST_CHECKED : BST_UNCHECKED, 0);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
  } else if (_wcsicmp(className, L"ComboBox") == 0) {
    SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(std::atoi(text.c_str())), 0);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(control));
  } else {
    const std::wstring wide = Wide(text.c_str());
    SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  }
}

void PrintState(HWND control) {
  if (control == nullptr || !IsWindowVisible(control)) {
    std::printf("hidden\n");
    return;
  }
  wchar_t className[32] = {};
  GetClassNameW(control, className, 32);
  const LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
  const bool box =
      _wcsicmp(className, L"Button") == 0 && (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX);
  std::printf("%s%s\n", IsWindowEnabled(control) ? "enabled" : "disabled",
              !box                                                      ? ""
              : SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? " checked"
                                                                        : " clear");
}

struct Inside {
  RECT client;
  int outside;
};

BOOL CALLBACK CheckInside(HWND control, LPARAM lParam) {
  auto* inside = reinterpret_cast<Inside*>(lParam);
  RECT rect{};
  GetWindowRect(control, &rect);
  const RECT& client = inside->client;
  if (IsWindowVisible(control) && (rect.left < client.left || rect.top < client.top ||
                                   rect.right > client.right || rect.bottom > client.bottom)) {
    std::printf("outside %d %ld %ld %ld %ld\n", GetDlgCtrlID(control), rect.left, rect.top,
                rect.right, rect.bottom);
    ++inside->outside;
  }
  return TRUE;
}

struct Find {
  int id;
  HWND control;
};

BOOL CALLBACK FindControl(HWND window, LPARAM lParam) {
  auto* find = reinterpret_cast<Find*>(lParam);
  if (GetDlgCtrlID(window) == find->id) {
    find->control = window;
    return FALSE;
  }
  return TRUE;
}

void PrintInside(HWND window) {
  Inside inside{{}, 0};
  GetClientRect(window, &inside.client);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&inside.client), 2);
  EnumChildWindows(window, CheckInside, reinterpret_cast<LPARAM>(&inside));
  RECT work{};
  RECT frame{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  GetWindowRect(window, &frame);
  if (frame.left < work.left || frame.top < work.top || frame.right > work.right ||
      frame.bottom > work.bottom) {
    std::printf("window %ld %ld %ld %ld beyond the work area %ld %ld %ld %ld\n", frame.left,
                frame.top, frame.right, frame.bottom, work.left, work.top, work.right, work.bottom);
    ++inside.outside;
  }
  if (inside.outside == 0) {
    std::printf("inside\n");
  }
}

void PrintFile(const char* path) {
  const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "rb"), &std::fclose);
  if (!file) {
    std::printf("no report\n");
    return;
  }
  char buffer[4096];
  size_t read = 0;
  while ((read = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    std::fwrite(buffer, 1, read, stdout);
  }
}

// A child of the window with that id; else the first of its descendants with
// it, as in a setup program whose pages are dialogs inside its window.
HWND Control(HWND window, int id) {
  HWND control = GetDlgItem(window, id);
  if (control == nullptr) {
    Find find{id, nullptr};
    EnumChildWindows(window, FindControl, reinterpret_cast<LPARAM>(&find));
    control = find.control;
  }
  return control;
}

HWND WaitFor(const std::wstring& caption, int tenths) {
  for (int i = 0; i < tenths; ++i) {
    // Visible once its texts are filled in.
    HWND window = FindWindowW(L"#32770", caption.c_str());
    if (window != nullptr && IsWindowVisible(window)) {
      return window;
    }
    Sleep(100);
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  std::wstring caption = L"Velmora Control Panel";
  int at = 1;
  if (argc > 2 && std::strcmp(argv[1], "wait") == 0) {
    caption = Wide(argv[2]);
    at = 3;
  }
  HWND window = WaitFor(caption, 200);
  std::printf("%s\n", window != nullptr ? "found" : "missing");
  if (window == nullptr) {
    return 1;
  }
  for (; at < argc; ++at) {
    const std::string step = argv[at];
    if (step == "set" && at + 2 < argc) {
      Choose(window, GetDlgItem(window, IDC_EDIT_BASE + std::atoi(argv[at + 1])), argv[at + 2]);
      std::printf("ok\n");
      at += 2;
    } else if (step == "post" && at + 1 < argc) {
      const int id = std::atoi(argv[++at]);
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
      std::printf("ok\n");
    } else if (step == "escape") {
      // Posted, as a key press is, so that the dialog's own loop turns it into Cancel.
      HWND focus = GetDlgItem(window, IDCANCEL);
      PostMessageW(focus != nullptr ? focus : window, WM_KEYDOWN, VK_ESCAPE, 0);
      std::printf("ok\n");
    } else if (step == "state" && at + 1 < argc) {
      PrintState(GetDlgItem(window, std::atoi(argv[++at])));
    } else if (step == "rect" && at + 1 < argc) {
      RECT rect{};
      GetWindowRect(GetDlgItem(window, std::atoi(argv[++at])), &rect);
      std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
    } else if (step == "frame") {
      RECT rect{};
      GetWindowRect(window, &rect);
      std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
    } else if (step == "inside") {
      PrintInside(window);
    } else if (step == "layout" && at + 1 < argc) {
      const LRESULT problems = SendMessageW(window, kReportMessage, 0, 0);
      PrintFile(argv[++at]);
      if (problems < 0) {
        std::printf("report failed\n");
      }
    } else if (step == "dpi" && at + 1 < argc) {
      SendMessageW(window, kDpiMessage, static_cast<WPARAM>(std::atoi(argv[++at])), 0);
      std::printf("ok\n");
    } else if (step == "text" && at + 1 < argc) {
      PrintText(Control(window, std::atoi(argv[++at])));
    } else if (step == "press" && at + 1 < argc) {
      const int id = std::atoi(argv[++at]);
      SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
      std::printf("ok\n");
    } else if (step == "count") {
      Count count{&caption, 0};
      EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&count));
      std::printf("%d\n", count.windows);
    } else if (step == "gone") {
      int tenths = 0;
      while (IsWindow(window) && tenths++ < 100) {
        Sleep(100);
      }
      std::printf("%s\n", IsWindow(window) ? "still there" : "gone");
    } else {
      std::fprintf(stderr, "panel_probe: unknown step %s\n", step.c_str());
      return 2;
    }
    std::fflush(stdout);  // each line as soon as its step is done
  }
  return 0;
}
