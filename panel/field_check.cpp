#include "panel/field_check.h"

#include "panel/fixed_text.h"

namespace {

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t';
}

}  // namespace

FieldVerdict CheckField(const wchar_t* text, const SettingInfo& info, uint32_t& value) {
  while (IsBlank(*text)) {
    ++text;
  }
  if (*text == 0) {
    return FieldVerdict::Empty;
  }
  uint64_t number = 0;
  bool tooLarge = false;
  for (; *text >= L'0' && *text <= L'9'; ++text) {
    number = number * 10 + static_cast<uint64_t>(*text - L'0');
    if (number > UINT32_MAX) {
      tooLarge = true;  // keep reading: the rest must still be digits
      number = UINT32_MAX + uint64_t{1};
    }
  }
  while (IsBlank(*text)) {
    ++text;
  }
  if (*text != 0) {
    return FieldVerdict::NotANumber;
  }
  if (tooLarge || number > info.maximum) {
    return FieldVerdict::AboveMaximum;
  }
  if (number < info.minimum) {
    return FieldVerdict::BelowMinimum;
  }
  value = static_cast<uint32_t>(number);
  return FieldVerdict::Accepted;
}

std::wstring GroupDigits(uint64_t value) {
  return std::wstring(FixedText().AppendNumber(value).view());
}

std::wstring AmountText(const SettingInfo& info, uint64_t value) {
  std::wstring text = GroupDigits(value);
  const std::wstring unit = info.unit;
  if (unit == L"%") {
    text += L" percent";  // a sentence spells the sign out
  } else if (unit == L"checks" && value == 1) {
    text += L" check";
  } else if (!unit.empty()) {
    text += L" " + unit;
  }
  return text;
}

std::wstring LimitsText(const SettingInfo& info) {
  return GroupDigits(info.minimum) + L" to " + AmountText(info, info.maximum);
}

std::wstring FieldMessage(FieldVerdict verdict, const SettingInfo& info) {
  switch (verdict) {
    case FieldVerdict::Accepted:
      return {};
    case FieldVerdict::Empty:
      return L"Enter a value: " + LimitsText(info) + L".";
    case FieldVerdict::NotANumber:
      return L"Not a whole number: enter " + LimitsText(info) + L".";
    case FieldVerdict::BelowMinimum:
      return L"Too small: the least is " + AmountText(info, info.minimum) + L".";
    case FieldVerdict::AboveMaximum:
      return L"Too large: the most is " + AmountText(info, info.maximum) + L".";
  }
  return {};
}
