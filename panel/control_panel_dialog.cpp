#include "panel/control_panel_dialog.h"

#include <algorithm>

#include "panel/dpi_calls.h"
#include "panel/elevation.h"
#include "panel/field_check.h"
#include "panel/layout_check.h"
#include "panel/panel_status.h"
#include "panel/resources/resource.h"
#include "panel/setting_text.h"
#include "platform/platform.h"
#include "service/service_control.h"

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 1000;
// A start or stop of the service ended: wParam says whether it did, lParam
// whether it was a start.
constexpr UINT kServiceDoneMessage = WM_APP + 1;
constexpr UINT kDpiChangedMessage = 0x02E0;  // WM_DPICHANGED
constexpr COLORREF kRefusedColor = RGB(192, 0, 0);
constexpr COLORREF kLockColor = RGB(0, 70, 150);

constexpr wchar_t kWritableBanner[] =
    L"Change a value and press Apply: the values are saved and the running service takes them "
    L"up at once.";

size_t IndexOf(const SettingCatalog& catalog, const wchar_t* name) {
  for (size_t i = 0; i < kSettingCount; ++i) {
    if (std::wstring(catalog[i].name) == name) {
      return i;
    }
  }
  return 0;
}

bool InRange(int id, int base) {
  return id >= base && id < base + static_cast<int>(kSettingCount);
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

// The question on closing with edits not applied; lParam says whether Apply is possible.
INT_PTR CALLBACK AskProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    EnableWindow(GetDlgItem(window, IDC_ASK_APPLY), lParam != 0);
    if (lParam == 0) {
      SendMessageW(window, DM_SETDEFID, IDC_ASK_DISCARD, 0);
    }
    return TRUE;
  }
  if (message == WM_COMMAND) {
    const int id = LOWORD(wParam);
    if (id == IDC_ASK_APPLY || id == IDC_ASK_DISCARD || id == IDCANCEL) {
      EndDialog(window, id);
      return TRUE;
    }
  }
  return FALSE;
}

// A start or stop of the service on a thread of its own, which may take seconds.
struct ServiceRequest {
  HWND window;
  bool start;
};

unsigned RunServiceRequest(void* context) {
  const auto* request = static_cast<ServiceRequest*>(context);
  const bool done = request->start ? ServiceControl::StartAndWait(kServiceName)
                                   : ServiceControl::Stop(kServiceName);
  PostMessageW(request->window, kServiceDoneMessage, done ? 1 : 0, request->start ? 1 : 0);
  delete request;
  return 0;
}

}  // namespace

ControlPanelDialog::ControlPanelDialog(uint64_t totalPhysBytes, Options options)
    : panel_(totalPhysBytes), options_(std::move(options)) {}

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
  return self != nullptr ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR ControlPanelDialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kRefreshTimer) {
        OnTimer();
      }
      return TRUE;
    case WM_CTLCOLORSTATIC:
      return OnColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_SIZE:
      Relayout();
      return TRUE;
    case WM_VSCROLL:
      OnScroll(LOWORD(wParam));
      return TRUE;
    case WM_MOUSEWHEEL:
      scroll_ -= GET_WHEEL_DELTA_WPARAM(wParam) * Scale(40, layout_.dpi()) / WHEEL_DELTA;
      Relayout();
      return TRUE;
    case WM_GETMINMAXINFO:
      OnMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lParam));
      return TRUE;
    case kDpiChangedMessage:
      OnDpiChanged(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return TRUE;
    case kServiceDoneMessage:
      OnServiceDone(wParam != 0, lParam != 0);
      return TRUE;
    case VELPANEL_TEST_REPORT_MESSAGE:
      if (options_.reportPath.empty()) {
        return FALSE;
      }
      SetWindowLongPtrW(window_, DWLP_MSGRESULT,
                        WriteLayoutReport(window_, options_.reportPath.c_str(), layout_.chart(),
                                          history_, layout_.dpi()));
      return TRUE;
    case VELPANEL_TEST_DPI_MESSAGE:
      if (options_.reportPath.empty()) {
        return FALSE;
      }
      OnDpiChanged(static_cast<int>(wParam), nullptr);
      return TRUE;
    default:
      return FALSE;
  }
}

bool ControlPanelDialog::OnCommand(int id, int code) {
  const SettingCatalog& catalog = panel_.catalog();
  if (InRange(id, IDC_EDIT_BASE)) {
    const size_t index = static_cast<size_t>(id - IDC_EDIT_BASE);
    if ((catalog[index].control == SettingControl::Interval && code == EN_CHANGE) ||
        (index == IndexOf(catalog, L"IsAutoOptHour") && code == BN_CLICKED)) {
      ShowIntervalMeaning();
    }
    return false;
  }
  switch (id) {
    case IDC_APPLY:
    case IDOK:  // Enter in a field
      if (writable_) {
        OnApply();
      } else if (canElevate_) {
        OnChangeSettings();
      }
      return true;
    case IDCANCEL:  // Close, Escape and the window's close box
      OnClose();
      return true;
    case IDC_CHANGE_SETTINGS:
      OnChangeSettings();
      return true;
    case IDC_SERVICE_BUTTON:
      OnServiceButton();
      return true;
    case IDC_ADVANCED: {
      layout_.ShowAdvanced(!layout_.advancedShown());
      Relayout(true);  // grows to show the values, as far as the screen allows
      return true;
    }
    default:
      return false;
  }
}

void ControlPanelDialog::OnInit(HWND window) {
  window_ = window;
  KeepDialogLayoutOwn(window);
  HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_VELPANEL));
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

  uint32_t error = 0;
  WriteAccess access = panel_.CheckWriteAccess(error);
  if (options_.limited) {
    access = WriteAccess::Denied;
    error = plat::kErrorAccessDenied;
  }
  elevated_ = !options_.limited && ProcessIsElevated();
  writable_ = access == WriteAccess::Granted;
  canElevate_ = access == WriteAccess::Denied && !elevated_;
  panel_.Load();

  layout_.Create(window, panel_.catalog(), history_);
  std::wstring banner = kWritableBanner;
  if (canElevate_) {
    banner =
        L"Changing these settings needs administrator rights: make your changes, then press "
        L"Change settings... to save them as an administrator.";
  } else if (access == WriteAccess::Denied) {
    banner = L"Read-only: the settings key may not be written, even as an administrator (error " +
             std::to_wstring(error) + L").";
  } else if (access == WriteAccess::Failed) {
    banner = L"Read-only: the settings key cannot be opened for writing (error " +
             std::to_wstring(error) + L").";
  }
  allMissing_ = true;
  for (size_t i = 0; i < kSettingCount; ++i) {
    allMissing_ = allMissing_ && panel_.shown(i).source == ValueSource::Missing;
  }
  for (size_t i = 0; i < kSettingCount; ++i) {
    layout_.SetLocked(i, panel_.locked(i));
    ShowRow(i);
  }
  if (allMissing_) {
    banner +=
        L" The service has not run yet: the defaults are shown, and it writes them when it "
        L"starts.";
  }
  SetDlgItemTextW(window, IDC_BANNER, banner.c_str());
  bool carried = false;
  for (size_t i = 0; i < kSettingCount; ++i) {
    if (options_.edits[i] && !panel_.locked(i) && (writable_ || canElevate_)) {
      SetRowText(i, *options_.edits[i]);
      carried = true;
    }
  }
  if (carried && options_.carried) {
    SetDlgItemTextW(window, IDC_RESULT,
                    L"Your changes were carried over: press Apply to save them.");
  }
  ShowIntervalMeaning();
  layout_.SetDpi(WindowDpi(window));
  OnTimer();
  ShowButtons();
  SizeToContent();
  SetTimer(window, kRefreshTimer, kRefreshMs, nullptr);
}

void ControlPanelDialog::ShowRow(size_t index) {
  const SettingInfo& info = panel_.catalog()[index];
  const ShownSetting& shown = panel_.shown(index);
  PanelLayout::Row& row = layout_.row(index);
  SetRowText(index, std::to_wstring(ShownValue(info, shown.value)));
  loadedText_[index] = RowText(index);
  SetWindowTextW(row.meaning, MeaningLine(info).c_str());
  // When no value is there yet, the banner says so once.
  const bool sayMissing = !(allMissing_ && shown.source == ValueSource::Missing);
  SetWindowTextW(row.note, sayMissing ? NoteLine(info, shown).c_str() : L"");
  SetWindowTextW(row.error, L"");
  std::wstring name = info.name;
  if (info.control == SettingControl::Interval &&
      (shown.source == ValueSource::Stored || shown.source == ValueSource::Policy)) {
    name += L" = " + GroupDigits(shown.value);  // the checks are two thirds of it
  }
  SetWindowTextW(row.regName, name.c_str());
  EnableWindow(row.control, !panel_.locked(index) && (writable_ || canElevate_));
}

std::wstring ControlPanelDialog::RowText(size_t index) const {
  HWND control = layout_.row(index).control;
  switch (panel_.catalog()[index].control) {
    case SettingControl::Switch:
      return SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? L"1" : L"0";
    case SettingControl::Choice:
      return SendMessageW(control, CB_GETCURSEL, 0, 0) == 1 ? L"1" : L"0";
    case SettingControl::Number:
    case SettingControl::Interval:
      break;
  }
  wchar_t text[64] = {};
  GetWindowTextW(control, text, 64);
  return text;
}

void ControlPanelDialog::SetRowText(size_t index, const std::wstring& text) {
  HWND control = layout_.row(index).control;
  switch (panel_.catalog()[index].control) {
    case SettingControl::Switch:
      SendMessageW(control, BM_SETCHECK, text == L"1" ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case SettingControl::Choice:
      SendMessageW(control, CB_SETCURSEL, text == L"1" ? 1 : 0, 0);
      break;
    case SettingControl::Number:
    case SettingControl::Interval:
      SetWindowTextW(control, text.c_str());
      break;
  }
}

FieldTexts ControlPanelDialog::Edits() const {
  FieldTexts edits;
  for (size_t i = 0; i < kSettingCount; ++i) {
    const std::wstring text = RowText(i);
    if (!panel_.locked(i) && text != loadedText_[i]) {
      edits[i] = text;
    }
  }
  return edits;
}

bool ControlPanelDialog::HasUnappliedEdits() const {
  for (const auto& edit : Edits()) {
    if (edit) {
      return true;
    }
  }
  return false;
}

bool ControlPanelDialog::OnApply() {
  if (!writable_) {
    return false;
  }
  const SettingCatalog& catalog = panel_.catalog();
  const FieldTexts edits = Edits();
  SettingChanges changes;
  int firstRefused = -1;
  size_t changed = 0;
  for (size_t i : kDisplayOrder) {
    HWND error = layout_.row(i).error;
    if (!edits[i]) {
      SetWindowTextW(error, L"");
      continue;  // untouched fields are neither checked nor written
    }
    uint32_t value = 0;
    const FieldVerdict verdict = CheckField(edits[i]->c_str(), catalog[i], value);
    SetWindowTextW(error, FieldMessage(verdict, catalog[i]).c_str());
    if (verdict != FieldVerdict::Accepted) {
      firstRefused = firstRefused < 0 ? static_cast<int>(i) : firstRefused;
    } else {
      changes[i] = StoredValue(catalog[i], value);
      ++changed;
    }
  }
  if (firstRefused >= 0) {
    SetResult(L"Nothing was saved: correct the values marked in red.");
    HWND field = layout_.row(static_cast<size_t>(firstRefused)).control;
    SetFocus(field);
    SendMessageW(field, EM_SETSEL, 0, -1);
    return false;
  }
  const ApplyOutcome outcome = panel_.Apply(changes);
  for (size_t i = 0; i < kSettingCount; ++i) {
    if (changes[i] && panel_.shown(i).source == ValueSource::Stored &&
        panel_.shown(i).value == *changes[i]) {
      ShowRow(i);
    }
  }
  ShowIntervalMeaning();
  SetResult(ApplyMessage(outcome, catalog));
  return outcome.failedSetting < 0 && outcome.written == changed;
}

void ControlPanelDialog::OnClose() {
  if (HasUnappliedEdits()) {
    const INT_PTR answer =
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_UNAPPLIED), window_,
                        AskProc, writable_ || canElevate_ ? 1 : 0);
    if (answer == IDC_ASK_APPLY) {
      if (canElevate_) {
        OnChangeSettings();  // ends this panel once the elevated one starts
        return;
      }
      if (!OnApply()) {
        return;  // the message beside the field says why
      }
    } else if (answer != IDC_ASK_DISCARD) {
      return;
    }
  }
  KillTimer(window_, kRefreshTimer);
  EndDialog(window_, IDCANCEL);
}

void ControlPanelDialog::OnChangeSettings() {
  uint32_t error = 0;
  if (StartElevated(window_, EditsParameters(panel_.catalog(), Edits()), error)) {
    // The elevated panel takes the edits over.
    KillTimer(window_, kRefreshTimer);
    EndDialog(window_, IDCANCEL);
    return;
  }
  SetResult(error == ERROR_CANCELLED
                ? std::wstring(L"Nothing was saved: the administrator's consent was not given.")
                : L"The control panel could not be started as an administrator (error " +
                      std::to_wstring(error) + L").");
}

void ControlPanelDialog::OnServiceButton() {
  const ServiceButton button = ServiceButtonFor(serviceState_, serviceRequest_);
  if (!button.enabled) {
    return;
  }
  if (!elevated_) {
    uint32_t error = 0;
    if (StartElevated(window_, button.starts ? L"service start" : L"service stop", error)) {
      SetResult(button.starts ? L"Starting the service as an administrator..."
                              : L"Stopping the service as an administrator...");
    } else {
      SetResult(error == ERROR_CANCELLED
                    ? std::wstring(L"The service was left as it is: the administrator's consent "
                                   L"was not given.")
                    : L"The control panel could not be started as an administrator (error " +
                          std::to_wstring(error) + L").");
    }
    return;
  }
  auto* request = new ServiceRequest{window_, button.starts};
  if (!plat::StartDetachedThread(RunServiceRequest, request)) {
    delete request;
    SetResult(L"The service was left as it is: no thread could be started for it.");
    return;
  }
  serviceRequest_ = true;
  SetResult(button.starts ? L"Starting the service..." : L"Stopping the service...");
  ShowButtons();
}

void ControlPanelDialog::OnServiceDone(bool done, bool started) {
  serviceRequest_ = false;
  if (done) {
    SetResult(started ? L"The service was started." : L"The service was stopped.");
  } else {
    SetResult(started ? L"The service could not be started."
                      : L"The service could not be stopped.");
  }
  OnTimer();
  ShowButtons();
}

void ControlPanelDialog::OnTimer() {
  const PanelStatus status = ReadPanelStatus(cache_);
  history_.Add(SampleOf(status));
  layout_.chart().Update(status.totalPhysBytes >> 20);
  const FixedText lines[] = {ServiceLine(status), MemoryLine(status), CacheLine(status),
                             SqueezeLine(history_)};
  const int ids[] = {IDC_SERVICE_LINE, IDC_MEMORY_LINE, IDC_CACHE_LINE, IDC_SQUEEZE_LINE};
  bool newHeight = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (!(lines[i] == lines_[i])) {
      lines_[i] = lines[i];
      HWND line = GetDlgItem(window_, ids[i]);
      SetWindowTextW(line, lines_[i].c_str());
      newHeight = newHeight || layout_.NeedsNewHeight(line);
    }
  }
  if (status.serviceState != serviceState_) {
    serviceState_ = status.serviceState;
    ShowButtons();
  } else if (newHeight) {
    Relayout(true);
  }
}

void ControlPanelDialog::ShowIntervalMeaning() {
  const SettingCatalog& catalog = panel_.catalog();
  const size_t interval = IndexOf(catalog, L"AutoOptHour");
  // Any count the field holds, beyond the panel's limits too, says its time.
  SettingInfo anyCount = catalog[interval];
  anyCount.minimum = 1;
  anyCount.maximum = UINT32_MAX;
  uint32_t checks = 0;
  if (CheckField(RowText(interval).c_str(), anyCount, checks) != FieldVerdict::Accepted) {
    checks = 0;
  }
  const bool follows = RowText(IndexOf(catalog, L"IsAutoOptHour")) != L"0";
  HWND meaning = layout_.row(interval).meaning;
  SetWindowTextW(meaning, IntervalMeaning(catalog[interval], checks, follows).c_str());
  if (layout_.NeedsNewHeight(meaning)) {
    Relayout(true);
  }
}

void ControlPanelDialog::ShowButtons() {
  const ServiceButton service = ServiceButtonFor(serviceState_, serviceRequest_);
  HWND serviceButton = GetDlgItem(window_, IDC_SERVICE_BUTTON);
  SetWindowTextW(serviceButton, service.starts ? L"&Start" : L"S&top");
  EnableWindow(serviceButton, service.enabled);
  ShowShield(serviceButton, !elevated_);
  ShowShield(GetDlgItem(window_, IDC_CHANGE_SETTINGS), true);
  PanelLayout::Buttons buttons;
  buttons.apply = writable_;
  buttons.changeSettings = canElevate_;
  buttons.service = service.shown;
  buttons.serviceShield = !elevated_;
  layout_.SetButtons(buttons);
  Relayout();
}

void ControlPanelDialog::SetResult(const std::wstring& text) {
  SetDlgItemTextW(window_, IDC_RESULT, text.c_str());
  Relayout(true);
}

void ControlPanelDialog::SizeToContent() {
  const int dpi = layout_.dpi();
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  const int workWidth = work.right - work.left;
  const int workHeight = work.bottom - work.top;
  // The frame as the system draws it: the window's size less its client
  // area's, once the scroll bar is gone.
  arranging_ = true;
  ShowScrollBar(window_, SB_VERT, FALSE);
  RECT frame{};
  RECT client{};
  GetWindowRect(window_, &frame);
  GetClientRect(window_, &client);
  arranging_ = false;
  const int frameGuess = frame.right - frame.left - client.right;
  const int width = std::min(layout_.PreferredWidth(),
                             std::max<int>(layout_.TwoColumnWidth(), workWidth - frameGuess));
  const int height = layout_.Arrange(width, 0);
  RECT adjusted{0, 0, width, height};
  AdjustRectForDpi(adjusted, static_cast<DWORD>(GetWindowLongW(window_, GWL_STYLE)) & ~WS_VSCROLL,
                   static_cast<DWORD>(GetWindowLongW(window_, GWL_EXSTYLE)), dpi);
  const int frameWidth = std::max<int>(frame.right - frame.left - client.right,
                                       adjusted.right - adjusted.left - width);
  const int frameHeight = std::max<int>(frame.bottom - frame.top - client.bottom,
                                        adjusted.bottom - adjusted.top - height);
  int windowWidth = width + frameWidth;
  int windowHeight = height + frameHeight;
  if (windowHeight > workHeight) {
    // Too tall for the screen: the content scrolls.
    windowHeight = workHeight;
    windowWidth += MetricForDpi(SM_CXVSCROLL, dpi);
  }
  windowWidth = std::min(windowWidth, workWidth);
  scroll_ = 0;
  SetWindowPos(window_, nullptr, work.left + (workWidth - windowWidth) / 2,
               work.top + (workHeight - windowHeight) / 2, windowWidth, windowHeight,
               SWP_NOZORDER | SWP_NOACTIVATE);
  Relayout();
}

void ControlPanelDialog::Relayout(bool mayGrow) {
  if (arranging_ || window_ == nullptr || layout_.font() == nullptr) {
    return;
  }
  arranging_ = true;
  RECT client{};
  GetClientRect(window_, &client);
  if (mayGrow && !IsZoomed(window_)) {
    const int needed = layout_.Arrange(client.right, scroll_) - scroll_ - client.bottom;
    if (needed > 0) {
      MONITORINFO monitor{};
      monitor.cbSize = sizeof monitor;
      GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor);
      RECT frame{};
      GetWindowRect(window_, &frame);
      const LONG height =
          std::min(frame.bottom - frame.top + needed, monitor.rcWork.bottom - monitor.rcWork.top);
      // Downwards when there is room, else upwards as well.
      const LONG top =
          std::max(monitor.rcWork.top, std::min(frame.top, monitor.rcWork.bottom - height));
      SetWindowPos(window_, nullptr, frame.left, top, frame.right - frame.left, height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      GetClientRect(window_, &client);
    }
  }
  for (int pass = 0; pass < 2; ++pass) {
    contentHeight_ = layout_.Arrange(client.right, scroll_);
    const int most = std::max(0, contentHeight_ - static_cast<int>(client.bottom));
    if (scroll_ < 0 || scroll_ > most) {
      scroll_ = std::clamp(scroll_, 0, most);
      contentHeight_ = layout_.Arrange(client.right, scroll_);
    }
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMax = contentHeight_ - 1;
    info.nPage = static_cast<UINT>(client.bottom);
    info.nPos = scroll_;
    SetScrollInfo(window_, SB_VERT, &info, TRUE);
    // Showing or hiding the scroll bar changes the width: arrange once more.
    RECT after{};
    GetClientRect(window_, &after);
    if (after.right == client.right && after.bottom == client.bottom) {
      break;
    }
    client = after;
  }
  arranging_ = false;
}

void ControlPanelDialog::OnScroll(int code) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  GetScrollInfo(window_, SB_VERT, &info);
  const int line = Scale(20, layout_.dpi());
  switch (code) {
    case SB_LINEUP:
      scroll_ -= line;
      break;
    case SB_LINEDOWN:
      scroll_ += line;
      break;
    case SB_PAGEUP:
      scroll_ -= static_cast<int>(info.nPage);
      break;
    case SB_PAGEDOWN:
      scroll_ += static_cast<int>(info.nPage);
      break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
      scroll_ = info.nTrackPos;
      break;
    case SB_TOP:
      scroll_ = 0;
      break;
    case SB_BOTTOM:
      scroll_ = contentHeight_;
      break;
    default:
      return;
  }
  Relayout();
}

void ControlPanelDialog::OnDpiChanged(int dpi, const RECT* suggested) {
  layout_.SetDpi(dpi);
  if (suggested == nullptr) {
    SizeToContent();
    return;
  }
  SetWindowPos(window_, nullptr, suggested->left, suggested->top,
               suggested->right - suggested->left, suggested->bottom - suggested->top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  Relayout();
}

void ControlPanelDialog::OnMinMaxInfo(MINMAXINFO& info) {
  if (window_ == nullptr || layout_.font() == nullptr) {
    return;  // not laid out yet
  }
  const int dpi = layout_.dpi();
  RECT rect{0, 0, layout_.OneColumnWidth() + MetricForDpi(SM_CXVSCROLL, dpi), Scale(220, dpi)};
  const DWORD style = static_cast<DWORD>(GetWindowLongW(window_, GWL_STYLE)) & ~WS_VSCROLL;
  AdjustRectForDpi(rect, style, static_cast<DWORD>(GetWindowLongW(window_, GWL_EXSTYLE)), dpi);
  info.ptMinTrackSize = {rect.right - rect.left, rect.bottom - rect.top};
}

INT_PTR ControlPanelDialog::OnColorStatic(HDC dc, HWND control) {
  const int id = GetDlgCtrlID(control);
  if (InRange(id, IDC_ERROR_BASE)) {
    SetTextColor(dc, kRefusedColor);
  } else if (InRange(id, IDC_REGNAME_BASE) || id == IDC_ADVANCED_NOTE) {
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  } else if (InRange(id, IDC_LOCK_BASE)) {
    SetTextColor(dc, kLockColor);
  } else {
    return FALSE;
  }
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
}

void ShowAboutBox(HINSTANCE instance, HWND owner) {
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutProc, 0);
}
