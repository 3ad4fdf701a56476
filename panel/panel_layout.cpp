#include "panel/panel_layout.h"

#include <algorithm>

#include "panel/dpi_calls.h"
#include "panel/resources/resource.h"

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kLineStatic = kChild | SS_LEFTNOWORDWRAP | SS_NOPREFIX;
constexpr DWORD kWrappedStatic = kChild | SS_LEFT | SS_NOPREFIX;

// The width a field needs: the largest value a setting can hold.
constexpr wchar_t kWidestValue[] = L"4294967295";

HWND Make(HWND parent, const wchar_t* windowClass, const wchar_t* text, DWORD style, int id,
          DWORD exStyle = 0) {
  return CreateWindowExW(exStyle, windowClass, text, style, 0, 0, 0, 0, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}

BOOL CALLBACK SetFontOn(HWND child, LPARAM font) {
  SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
  return TRUE;
}

bool IsShown(HWND control) {
  return GetWindowTextLengthW(control) > 0;
}

}  // namespace

// Collects the moves of one arrangement, made all at once.
struct PanelLayout::Placer {
  HDWP defer;
  void operator()(HWND control, int x, int y, int width, int height, bool shown = true) {
    if (control == nullptr || defer == nullptr) {
      return;
    }
    defer = DeferWindowPos(
        defer, control, nullptr, x, y, width, height,
        SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS | (shown ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
  }
  void Hide(HWND control) { (*this)(control, 0, 0, 0, 0, false); }
};

PanelLayout::~PanelLayout() = default;

void PanelLayout::Create(HWND dialog, const SettingCatalog& catalog, const UsageHistory& history) {
  dialog_ = dialog;
  catalog_ = &catalog;
  measure_.reset(CreateCompatibleDC(nullptr));
  Make(dialog, L"STATIC", L"", kWrappedStatic, IDC_BANNER);
  static const wchar_t* const kGroups[] = {L"Tuning mode", L"Freeing memory", L"Compatibility"};
  for (size_t shown = 0; shown < kSettingCount; ++shown) {
    const size_t i = kDisplayOrder[shown];
    const SettingInfo& info = catalog[i];
    const int id = static_cast<int>(i);
    if (shown == 0 || catalog[kDisplayOrder[shown - 1]].group != info.group) {
      const int group = static_cast<int>(info.group);
      if (info.group == SettingGroup::Compatibility) {
        // The folded group follows the live picture in the right column.
        Make(dialog, L"STATIC", L"Now", kLineStatic, IDC_NOW_HEADING);
        Make(dialog, L"STATIC", L"", kWrappedStatic, IDC_SERVICE_LINE);
        Make(dialog, L"BUTTON", L"Stop", kChild | WS_TABSTOP | BS_PUSHBUTTON, IDC_SERVICE_BUTTON);
        chart_.Create(dialog, IDC_CHART, history);
        Make(dialog, L"STATIC", L"", kWrappedStatic, IDC_MEMORY_LINE);
        Make(dialog, L"STATIC", L"", kWrappedStatic, IDC_CACHE_LINE);
        Make(dialog, L"STATIC", L"", kWrappedStatic, IDC_SQUEEZE_LINE);
        Make(dialog, L"BUTTON", L"Advanced >>", kChild | WS_TABSTOP | BS_PUSHBUTTON, IDC_ADVANCED);
        Make(dialog, L"STATIC", L"Three values kept for compatibility; they change nothing.",
             kWrappedStatic, IDC_ADVANCED_NOTE);
      }
      Make(dialog, L"STATIC", kGroups[group], kLineStatic, IDC_GROUP_BASE + group);
    }
    Row& row = rows_[i];
    switch (info.control) {
      case SettingControl::Switch:
        row.control = Make(dialog, L"BUTTON", info.label, kChild | WS_TABSTOP | BS_AUTOCHECKBOX,
                           IDC_EDIT_BASE + id);
        break;
      case SettingControl::Choice:
        row.label = Make(dialog, L"STATIC", info.label, kLineStatic, IDC_NAME_BASE + id);
        row.control = Make(dialog, L"COMBOBOX", L"",
                           kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, IDC_EDIT_BASE + id);
        SendMessageW(row.control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Automatic"));
        SendMessageW(row.control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Fixed maximum"));
        break;
      case SettingControl::Number:
      case SettingControl::Interval:
        row.label = Make(dialog, L"STATIC", info.label, kLineStatic, IDC_NAME_BASE + id);
        row.control = Make(dialog, L"EDIT", L"", kChild | WS_TABSTOP | ES_AUTOHSCROLL,
                           IDC_EDIT_BASE + id, WS_EX_CLIENTEDGE);
        SendMessageW(row.control, EM_LIMITTEXT, 20, 0);
        break;
    }
    row.unit = Make(dialog, L"STATIC", info.unit, kLineStatic, IDC_UNIT_BASE + id);
    row.lock = Make(dialog, L"STATIC", L"Set by Group Policy", kLineStatic, IDC_LOCK_BASE + id);
    row.regName = Make(dialog, L"STATIC", info.name, kLineStatic, IDC_REGNAME_BASE + id);
    row.meaning = Make(dialog, L"STATIC", L"", kWrappedStatic, IDC_MEANING_BASE + id);
    row.note = Make(dialog, L"STATIC", L"", kWrappedStatic, IDC_LIMITS_BASE + id);
    row.error = Make(dialog, L"STATIC", L"", kWrappedStatic, IDC_ERROR_BASE + id);
  }
  Make(dialog, L"STATIC", L"", kWrappedStatic, IDC_RESULT);
  Make(dialog, L"BUTTON", L"Change settings...", kChild | WS_TABSTOP | BS_PUSHBUTTON,
       IDC_CHANGE_SETTINGS);
  Make(dialog, L"BUTTON", L"&Apply", kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, IDC_APPLY);
  Make(dialog, L"BUTTON", L"Close", kChild | WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL);
}

void PanelLayout::SetDpi(int dpi) {
  dpi_ = dpi;
  LOGFONTW logFont = MessageFontForDpi(dpi);
  HFONT font = CreateFontIndirectW(&logFont);
  logFont.lfWeight = FW_BOLD;
  HFONT bold = CreateFontIndirectW(&logFont);
  EnumChildWindows(dialog_, SetFontOn, reinterpret_cast<LPARAM>(font));
  for (int group = 0; group < 3; ++group) {
    SetFontOn(Item(IDC_GROUP_BASE + group), reinterpret_cast<LPARAM>(bold));
  }
  SetFontOn(Item(IDC_NOW_HEADING), reinterpret_cast<LPARAM>(bold));
  chart_.SetDpi(dpi, font);
  // The fonts in use until now go once the new ones are set.
  font_.reset(font);
  boldFont_.reset(bold);

  SelectObject(measure_.get(), font_.get());
  TEXTMETRICW metrics{};
  GetTextMetricsW(measure_.get(), &metrics);
  line_ = metrics.tmHeight;
  // A drop-down sets its own height from its font; the fields and buttons follow it.
  RECT combo{};
  GetWindowRect(rows_[0].control, &combo);
  controlHeight_ = std::max<int>({line_ + Scale(8, dpi), static_cast<int>(combo.bottom - combo.top),
                                  MetricForDpi(SM_CYMENUCHECK, dpi) + Scale(2, dpi)});
  buttonHeight_ = std::max(controlHeight_, Scale(23, dpi));
}

int PanelLayout::TextWidth(HWND control) {
  wchar_t text[512] = {};
  const int length = GetWindowTextW(control, text, 512);
  SelectObject(measure_.get(), reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(measure_.get(), text, length, &size);
  return static_cast<int>(size.cx);
}

int PanelLayout::WrappedHeight(HWND control, int width) {
  wchar_t text[1024] = {};
  const int length = GetWindowTextW(control, text, 1024);
  if (length == 0) {
    return 0;
  }
  SelectObject(measure_.get(), reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT rect{0, 0, width, 0};
  DrawTextW(measure_.get(), text, length, &rect,
            DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  return rect.bottom;
}

bool PanelLayout::NeedsNewHeight(HWND control) {
  RECT client{};
  GetClientRect(control, &client);
  const bool shown = IsWindowVisible(control) != FALSE;
  const int height = WrappedHeight(control, client.right);
  return shown ? height != client.bottom : height > 0;
}

int PanelLayout::LabelWidth(size_t index) {
  // The rows of one column line their fields up; the folded values have their own column.
  const bool folded = (*catalog_)[index].group == SettingGroup::Compatibility;
  int width = 0;
  for (size_t i = 0; i < kSettingCount; ++i) {
    const bool same = ((*catalog_)[i].group == SettingGroup::Compatibility) == folded;
    if (same && rows_[i].label != nullptr) {
      width = std::max(width, TextWidth(rows_[i].label));
    }
  }
  return width;
}

int PanelLayout::FieldWidth() {
  SelectObject(measure_.get(), font_.get());
  SIZE widest{};
  GetTextExtentPoint32W(measure_.get(), kWidestValue, static_cast<int>(wcslen(kWidestValue)),
                        &widest);
  return static_cast<int>(widest.cx) + Scale(12, dpi_);
}

int PanelLayout::ChoiceWidth(HWND combo) {
  SelectObject(measure_.get(), font_.get());
  int widest = 0;
  const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (int item = 0; item < count; ++item) {
    wchar_t text[64] = {};
    if (SendMessageW(combo, CB_GETLBTEXTLEN, item, 0) < 64) {
      SendMessageW(combo, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(text));
    }
    SIZE size{};
    GetTextExtentPoint32W(measure_.get(), text, static_cast<int>(wcslen(text)), &size);
    widest = std::max(widest, static_cast<int>(size.cx));
  }
  // The text, its margins and the arrow's button.
  return widest + Scale(12, dpi_) + MetricForDpi(SM_CXVSCROLL, dpi_);
}

int PanelLayout::CheckBoxIndent() {
  return MetricForDpi(SM_CXMENUCHECK, dpi_) + Scale(6, dpi_);
}

int PanelLayout::ButtonWidth(HWND button, bool shield) {
  const int shieldWidth = shield ? MetricForDpi(SM_CXSMICON, dpi_) + Scale(4, dpi_) : 0;
  return std::max(Scale(75, dpi_), TextWidth(button) + Scale(24, dpi_) + shieldWidth);
}

int PanelLayout::RowWidth(size_t index) {
  const Row& row = rows_[index];
  const int gap = Scale(7, dpi_);
  int width = CheckBoxIndent() + TextWidth(row.control);
  if (row.label != nullptr) {
    width = LabelWidth(index) + gap +
            ((*catalog_)[index].control == SettingControl::Choice ? ChoiceWidth(row.control)
                                                                  : FieldWidth());
  }
  if (IsShown(row.unit)) {
    width += gap + TextWidth(row.unit);
  }
  if (locked_[index]) {
    width += gap + TextWidth(row.lock);
  }
  // The rows are indented under their group's heading.
  return Scale(8, dpi_) + width + gap + TextWidth(row.regName);
}

PanelLayout::Widths PanelLayout::NaturalWidths() {
  Widths widths{Scale(400, dpi_), Scale(300, dpi_)};
  for (size_t i = 0; i < kSettingCount; ++i) {
    int& column =
        (*catalog_)[i].group == SettingGroup::Compatibility ? widths.column2 : widths.column1;
    column = std::max(column, RowWidth(i));
  }
  return widths;
}

int PanelLayout::TwoColumnWidth() {
  const Widths widths = NaturalWidths();
  return 2 * Scale(11, dpi_) + widths.column1 + Scale(20, dpi_) + widths.column2;
}

int PanelLayout::PreferredWidth() {
  // A wider left column keeps each line of meaning on one line.
  return std::max(TwoColumnWidth(), Scale(2 * 11 + 580 + 20 + 300, dpi_));
}

int PanelLayout::OneColumnWidth() {
  const Widths widths = NaturalWidths();
  return 2 * Scale(11, dpi_) + std::max(widths.column1, widths.column2);
}

void PanelLayout::ShowAdvanced(bool shown) {
  advancedShown_ = shown;
  SetWindowTextW(Item(IDC_ADVANCED), shown ? L"Advanced <<" : L"Advanced >>");
}

int PanelLayout::ArrangeRow(Placer& place, size_t index, int x, int y, int width) {
  Row& row = rows_[index];
  const int gap = Scale(7, dpi_);
  const int textTop = y + (controlHeight_ - line_) / 2;
  int cx = x;
  int indent = 0;
  if (row.label == nullptr) {
    indent = CheckBoxIndent();
    const int boxWidth = indent + TextWidth(row.control);
    place(row.control, cx, y, boxWidth, controlHeight_);
    cx += boxWidth + gap;
  } else {
    place(row.label, cx, textTop, TextWidth(row.label), line_);
    cx += LabelWidth(index) + gap;
    const bool combo = (*catalog_)[index].control == SettingControl::Choice;
    const int controlWidth = combo ? ChoiceWidth(row.control) : FieldWidth();
    // A drop-down's height includes its open list.
    place(row.control, cx, y, controlWidth,
          combo ? controlHeight_ + Scale(80, dpi_) : controlHeight_);
    cx += controlWidth + gap;
  }
  for (HWND part : {row.unit, row.lock, row.regName}) {
    const bool shown = part == row.lock ? locked_[index] : IsShown(part);
    const int partWidth = TextWidth(part);
    place(part, cx, textTop, partWidth, line_, shown);
    cx += shown ? partWidth + gap : 0;
  }
  y += controlHeight_ + Scale(2, dpi_);
  for (HWND text : {row.meaning, row.note, row.error}) {
    const int height = WrappedHeight(text, width - indent);
    place(text, x + indent, y, width - indent, height, height > 0);
    y += height > 0 ? height + Scale(1, dpi_) : 0;
  }
  return y + Scale(5, dpi_);
}

int PanelLayout::Arrange(int width, int scroll) {
  const int margin = Scale(11, dpi_);
  const int gap = Scale(7, dpi_);
  const Widths natural = NaturalWidths();
  const bool two = width >= TwoColumnWidth();
  const int single = std::max(width - 2 * margin, std::max(natural.column1, natural.column2));
  // Two columns: the left one takes the width the right one leaves.
  const int column1 =
      two ? std::max(natural.column1, width - 2 * margin - Scale(20, dpi_) - natural.column2)
          : single;
  const int column2 = two ? natural.column2 : single;
  const int content = two ? column1 + Scale(20, dpi_) + column2 : single;
  const int indent = Scale(8, dpi_);

  Placer place{BeginDeferWindowPos(96)};
  int y = margin - scroll;
  HWND banner = Item(IDC_BANNER);
  const int bannerHeight = WrappedHeight(banner, content);
  place(banner, margin, y, content, bannerHeight);
  y += bannerHeight + Scale(8, dpi_);
  const int top = y;

  // The left column: the settings that change what the service does.
  int x = margin;
  bool first = true;
  SettingGroup group = SettingGroup::Compatibility;
  for (size_t i : kDisplayOrder) {
    const SettingGroup rowGroup = (*catalog_)[i].group;
    if (rowGroup == SettingGroup::Compatibility) {
      continue;
    }
    if (rowGroup != group) {
      group = rowGroup;
      y += first ? 0 : Scale(4, dpi_);
      first = false;
      HWND heading = Item(IDC_GROUP_BASE + static_cast<int>(group));
      place(heading, x, y, TextWidth(heading), line_);
      y += line_ + Scale(4, dpi_);
    }
    y = ArrangeRow(place, i, x + indent, y, column1 - indent);
  }
  const int left = y;

  // The right column: the service and the live picture, then the folded values.
  x = two ? margin + column1 + Scale(20, dpi_) : margin;
  y = two ? top : left + Scale(6, dpi_);
  HWND heading = Item(IDC_NOW_HEADING);
  place(heading, x, y, TextWidth(heading), line_);
  y += line_ + Scale(6, dpi_);
  HWND serviceButton = Item(IDC_SERVICE_BUTTON);
  const int serviceButtonWidth = ButtonWidth(serviceButton, buttons_.serviceShield);
  HWND serviceLine = Item(IDC_SERVICE_LINE);
  const int lineWidth = column2 - serviceButtonWidth - gap;
  const int serviceHeight = std::max(WrappedHeight(serviceLine, lineWidth), line_);
  const int serviceRow = std::max(serviceHeight, buttonHeight_);
  place(serviceLine, x, y + (serviceRow - serviceHeight) / 2, lineWidth, serviceHeight);
  place(serviceButton, x + column2 - serviceButtonWidth, y + (serviceRow - buttonHeight_) / 2,
        serviceButtonWidth, buttonHeight_, buttons_.service);
  y += serviceRow + Scale(6, dpi_);
  // Beside the settings the chart grows to the left column's height, within bounds.
  int below = Scale(6 + 8, dpi_) + buttonHeight_;
  for (int id : {IDC_MEMORY_LINE, IDC_CACHE_LINE, IDC_SQUEEZE_LINE}) {
    below += WrappedHeight(Item(id), column2) + Scale(1, dpi_);
  }
  const int chartHeight =
      two && !advancedShown_
          ? std::clamp(left - y - below, chart_.PreferredHeight(), Scale(260, dpi_))
          : chart_.PreferredHeight();
  place(chart_.window(), x, y, column2, chartHeight);
  y += chartHeight + Scale(6, dpi_);
  for (int id : {IDC_MEMORY_LINE, IDC_CACHE_LINE, IDC_SQUEEZE_LINE}) {
    HWND line = Item(id);
    const int height = WrappedHeight(line, column2);
    place(line, x, y, column2, height, height > 0);
    y += height > 0 ? height + Scale(1, dpi_) : 0;
  }
  y += Scale(8, dpi_);
  HWND advanced = Item(IDC_ADVANCED);
  const int advancedWidth = ButtonWidth(advanced, false);
  place(advanced, x, y, advancedWidth, buttonHeight_);
  HWND advancedNote = Item(IDC_ADVANCED_NOTE);
  const int noteWidth = column2 - advancedWidth - gap;
  const int noteHeight = WrappedHeight(advancedNote, noteWidth);
  place(advancedNote, x + advancedWidth + gap, y + std::max(0, (buttonHeight_ - noteHeight) / 2),
        noteWidth, noteHeight);
  y += std::max(buttonHeight_, noteHeight) + Scale(6, dpi_);
  HWND compatibility = Item(IDC_GROUP_BASE + static_cast<int>(SettingGroup::Compatibility));
  place(compatibility, x, y, TextWidth(compatibility), line_, advancedShown_);
  y += advancedShown_ ? line_ + Scale(6, dpi_) : 0;
  for (size_t i : kDisplayOrder) {
    if ((*catalog_)[i].group != SettingGroup::Compatibility) {
      continue;
    }
    if (advancedShown_) {
      y = ArrangeRow(place, i, x + indent, y, column2 - indent);
      continue;
    }
    const Row& row = rows_[i];
    for (HWND control : {row.label, row.control, row.unit, row.lock, row.regName, row.meaning,
                         row.note, row.error}) {
      place.Hide(control);
    }
  }
  const int right = y;

  // Across the bottom: the buttons from the right, and what happened beside them.
  y = std::max(left, right) + Scale(2, dpi_);
  int buttonX = margin + content;
  const std::pair<int, bool> bottom[] = {{IDCANCEL, true},
                                         {IDC_APPLY, buttons_.apply},
                                         {IDC_CHANGE_SETTINGS, buttons_.changeSettings}};
  int buttonsWidth = 0;
  for (const auto& [id, shown] : bottom) {
    buttonsWidth += shown ? ButtonWidth(Item(id), id == IDC_CHANGE_SETTINGS) + gap : 0;
  }
  HWND result = Item(IDC_RESULT);
  const int resultWidth = content - buttonsWidth - gap;
  const int resultHeight = std::max(WrappedHeight(result, resultWidth), line_);
  const int barHeight = std::max(resultHeight, buttonHeight_);
  place(result, margin, y + (barHeight - resultHeight) / 2, resultWidth, resultHeight);
  for (const auto& [id, shown] : bottom) {
    HWND button = Item(id);
    if (!shown) {
      place.Hide(button);
      continue;
    }
    const int buttonWidth = ButtonWidth(button, id == IDC_CHANGE_SETTINGS);
    buttonX -= buttonWidth;
    place(button, buttonX, y + (barHeight - buttonHeight_) / 2, buttonWidth, buttonHeight_);
    buttonX -= gap;
  }
  y += barHeight - buttonHeight_;
  y += buttonHeight_ + margin;
  EndDeferWindowPos(place.defer);
  // Everything is drawn again where it now is.
  RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  return y + scroll;
}
