// Drives a running velpanel from outside, as a user would with the keyboard:
// types into its fields, presses its buttons, reads its texts. The steps run
// in order; each prints one line.
//
//   panel_probe [wait CAPTION] STEP...
//     wait CAPTION     waits up to 20 s for a visible top-level dialog with that
//                      caption ("Velmora Control Panel" without it); "found" or
//                      "missing"
//     set ROW TEXT     types TEXT into setting row ROW's field; "ok"
//     text ID          prints the text of the control with that id (a child of
//                      the dialog, or else of a dialog inside it)
//     press ID         presses the button with that id; "ok"
//     gone             waits up to 10 s for the window to close; "gone" or "still there"
//     count            how many top-level windows carry the caption
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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
      HWND field = GetDlgItem(window, IDC_EDIT_BASE + std::atoi(argv[at + 1]));
      const std::wstring text = Wide(argv[at + 2]);
      SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
      std::printf("ok\n");
      at += 2;
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
  }
  return 0;
}
