#include "panel/control_panel_dialog.h"

#include "panel/field_check.h"
#include "panel/panel_status.h"
#include "panel/resources/resource.h"

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 1000;
constexpr COLORREF kRefusedColor = RGB(192, 0, 0);

std::wstring FieldText(HWND window, int id) {
  wchar_t text[64] = {};
  GetDlgItemTextW(window, id, text, 64);
  return text;
}

void SetText(HWND window, int id, const std::wstring& text) {
  SetDlgItemTextW(window, id, text.c_str());
}

std::wstring SourceNote(const ShownSetting& shown) {
  switch (shown.source) {
    case ValueSource::Stored:
      return {};
    case ValueSource::Missing:
      return L"; not set yet, the default applies";
    case ValueSource::OtherType:
      return L"; stored as another type, read as 0";
    case ValueSource::Unreadable:
      return L"; cannot be read, the default is shown";
    case ValueSource::Policy:
      return L"; set by Group Policy";
  }
  return {};
}

INT_PTR CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(window, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

}  // namespace

ControlPanelDialog::ControlPanelDialog(uint64_t totalPhysBytes) : panel_(totalPhysBytes) {}

void ControlPanelDialog::Run(HINSTANCE instance) {
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_PANEL), nullptr, DialogProc,
                  reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK ControlPanelDialog::DialogProc(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    reinterpret_cast<ControlPanelDialog*>(lParam)->OnInit(window);
    return TRUE;
  }
  auto* self = reinterpret_cast<ControlPanelDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  if (self == nullptr) {
    return FALSE;
  }
  switch (message) {
    case WM_TIMER:
      if (wParam == kRefreshTimer) {
        self->RefreshStatus();
      }
      return TRUE;
    case WM_CTLCOLORSTATIC:
      return self->OnColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_APPLY:
        case IDOK:  // Enter in a field
          self->OnApply();
          return TRUE;
        case IDCANCEL:
          KillTimer(window, kRefreshTimer);
          EndDialog(window, IDCANCEL);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

void ControlPanelDialog::OnInit(HWND window) {
  window_ = window;
  HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_VELPANEL));
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

  uint32_t error = 0;
  const WriteAccess access = panel_.CheckWriteAccess(error);
  readOnly_ = access != WriteAccess::Granted;
  std::wstring banner =
      L"Change a value and press Apply: the values are saved and the running service takes "
      L"them up at once.";
  if (access == WriteAccess::Denied) {
    banner =
        L"Read-only: changing these settings needs administrator rights. Close this window and "
        L"start Velmora Control Panel again with \"Run as administrator\".";
  } else if (access == WriteAccess::Failed) {
    banner = L"Read-only: the settings key cannot be opened for writing (error " +
             std::to_wstring(error) + L").";
  }
  SetText(window, IDC_BANNER, banner);

  panel_.Load();
  for (size_t i = 0; i < kSettingCount; ++i) {
    const SettingInfo& info = panel_.catalog()[i];
    const int row = static_cast<int>(i);
    SetText(window, IDC_NAME_BASE + row, info.name);
    SetText(window, IDC_MEANING_BASE + row, info.meaning);
    SendDlgItemMessageW(window, IDC_EDIT_BASE + row, EM_SETREADONLY, readOnly_, 0);
    SendDlgItemMessageW(window, IDC_EDIT_BASE + row, EM_LIMITTEXT, 20, 0);
  }
  EnableWindow(GetDlgItem(window, IDC_APPLY), !readOnly_);
  ShowValues();
  RefreshStatus();
  SetTimer(window, kRefreshTimer, kRefreshMs, nullptr);
}

void ControlPanelDialog::ShowValues() {
  for (size_t i = 0; i < kSettingCount; ++i) {
    ShowRow(i);
  }
}

void ControlPanelDialog::ShowRow(size_t index) {
  const SettingInfo& info = panel_.catalog()[index];
  const ShownSetting& shown = panel_.shown(index);
  const int row = static_cast<int>(index);
  loadedText_[index] = std::to_wstring(shown.value);
  SetText(window_, IDC_EDIT_BASE + row, loadedText_[index]);
  SetText(window_, IDC_LIMITS_BASE + row,
          LimitsText(info) + L"; default " + GroupDigits(info.defaultValue) + SourceNote(shown));
  SetText(window_, IDC_ERROR_BASE + row, L"");
}

void ControlPanelDialog::OnApply() {
  if (readOnly_) {
    return;
  }
  SettingChanges changes;
  int firstRefused = -1;
  for (size_t i = 0; i < kSettingCount; ++i) {
    const int row = static_cast<int>(i);
    const std::wstring text = FieldText(window_, IDC_EDIT_BASE + row);
    if (text == loadedText_[i]) {
      SetText(window_, IDC_ERROR_BASE + row, L"");
      continue;  // untouched fields are neither checked nor written
    }
    uint32_t value = 0;
    const FieldVerdict verdict = CheckField(text.c_str(), panel_.catalog()[i], value);
    SetText(window_, IDC_ERROR_BASE + row, FieldMessage(verdict, panel_.catalog()[i]));
    if (verdict != FieldVerdict::Accepted) {
      firstRefused = firstRefused < 0 ? row : firstRefused;
    } else {
      changes[i] = value;
    }
  }
  if (firstRefused >= 0) {
    SetText(window_, IDC_RESULT, L"Nothing was saved: correct the values marked in red.");
    SetFocus(GetDlgItem(window_, IDC_EDIT_BASE + firstRefused));
    SendDlgItemMessageW(window_, IDC_EDIT_BASE + firstRefused, EM_SETSEL, 0, -1);
    return;
  }
  const ApplyOutcome outcome = panel_.Apply(changes);
  for (size_t i = 0; i < kSettingCount; ++i) {
    if (changes[i] && panel_.shown(i).source == ValueSource::Stored &&
        panel_.shown(i).value == *changes[i]) {
      ShowRow(i);
    }
  }
  SetText(window_, IDC_RESULT, ApplyMessage(outcome, panel_.catalog()));
}

void ControlPanelDialog::RefreshStatus() {
  const PanelStatus status = ReadPanelStatus(cache_);
  SetDlgItemTextW(window_, IDC_SERVICE_LINE, ServiceLine(status).c_str());
  SetDlgItemTextW(window_, IDC_CACHE_LINE, CacheLine(status).c_str());
  SetDlgItemTextW(window_, IDC_MEMORY_LINE, MemoryLine(status).c_str());
}

INT_PTR ControlPanelDialog::OnColorStatic(HDC dc, HWND control) {
  const int id = GetDlgCtrlID(control);
  if (id >= IDC_ERROR_BASE && id < IDC_ERROR_BASE + static_cast<int>(kSettingCount)) {
    SetTextColor(dc, kRefusedColor);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
  }
  return FALSE;
}

void ShowAboutBox(HINSTANCE instance, HWND owner) {
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutProc, 0);
}
