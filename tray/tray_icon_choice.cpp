#include "tray/tray_icon_choice.h"

#include "common/squeezer.h"
#include "platform/platform.h"

namespace {

// Appends text to the tip, cut to what it holds.
void Append(const wchar_t* text, wchar_t (&tip)[kTipCapacity], int& length) {
  for (; *text != L'\0' && length < kTipCapacity - 1; ++text) {
    tip[length++] = *text;
  }
  tip[length] = L'\0';
}

// Appends a figure with a comma between each group of three digits. Written
// by hand: the runtime's wide formatting differs between the C libraries.
void AppendFigure(uint32_t figure, bool grouped, wchar_t (&tip)[kTipCapacity], int& length) {
  wchar_t reversed[16];
  int count = 0;
  int digits = 0;
  do {
    if (grouped && digits > 0 && digits % 3 == 0) {
      reversed[count++] = L',';
    }
    reversed[count++] = static_cast<wchar_t>(L'0' + figure % 10);
    ++digits;
    figure /= 10;
  } while (figure != 0);
  wchar_t text[16];
  for (int i = 0; i < count; ++i) {
    text[i] = reversed[count - 1 - i];
  }
  text[count] = L'\0';
  Append(text, tip, length);
}

}  // namespace

TrayIconChoice ChooseTrayIcon() {
  TrayIconChoice choice;
  SqueezeMutex probe;
  choice.busy = probe.creationError() != 0;
  probe.Close();
  if (choice.busy) {
    return choice;
  }
  plat::MemoryStatus status{};
  plat::QueryMemoryStatus(status);
  choice.availableMB = static_cast<uint32_t>(status.availPhys >> 20);
  choice.memoryLoad = status.memoryLoad;
  return choice;
}

void FormatTip(uint32_t availableMB, uint32_t memoryLoad, wchar_t (&tip)[kTipCapacity]) {
  int length = 0;
  tip[0] = L'\0';
  Append(L"Velmora: ", tip, length);
  AppendFigure(availableMB, true, tip, length);
  Append(L" MB available (", tip, length);
  AppendFigure(memoryLoad, false, tip, length);
  Append(L"% in use)", tip, length);
}
