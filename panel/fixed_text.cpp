#include "panel/fixed_text.h"

FixedText& FixedText::Append(std::wstring_view text) {
  for (wchar_t c : text) {
    if (length_ + 1 >= kCapacity) {
      break;
    }
    text_[length_++] = c;
  }
  text_[length_] = 0;
  return *this;
}

FixedText& FixedText::AppendNumber(uint64_t value) {
  // Digits from the right, a separator before every group of three but the last.
  wchar_t digits[32];
  size_t at = sizeof digits / sizeof digits[0];
  int inGroup = 0;
  do {
    if (inGroup == 3) {
      digits[--at] = L',';
      inGroup = 0;
    }
    digits[--at] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
    ++inGroup;
  } while (value != 0);
  return Append(std::wstring_view(digits + at, sizeof digits / sizeof digits[0] - at));
}

void FixedText::Clear() {
  length_ = 0;
  text_[0] = 0;
}
