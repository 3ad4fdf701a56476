#include "panel/carried_edits.h"

namespace {

bool Plain(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') {
    return c - L'0';
  }
  if (c >= L'A' && c <= L'F') {
    return c - L'A' + 10;
  }
  if (c >= L'a' && c <= L'f') {
    return c - L'a' + 10;
  }
  return -1;
}

// The text of one argument's value; false when it is not written as it should be.
bool Decode(const std::wstring& coded, std::wstring& text) {
  text.clear();
  for (size_t at = 0; at < coded.size();) {
    if (Plain(coded[at])) {
      text += coded[at++];
      continue;
    }
    if (coded[at] != L'%' || at + 5 > coded.size()) {
      return false;
    }
    unsigned value = 0;
    for (size_t i = 1; i <= 4; ++i) {
      const int digit = HexDigit(coded[at + i]);
      if (digit < 0) {
        return false;
      }
      value = value * 16 + static_cast<unsigned>(digit);
    }
    text += static_cast<wchar_t>(value);
    at += 5;
  }
  return text.size() <= kFieldTextLimit;
}

}  // namespace

std::wstring EditsParameters(const SettingCatalog& catalog, const FieldTexts& edits) {
  static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring parameters = kEditsParameter;
  for (size_t i = 0; i < kSettingCount; ++i) {
    if (!edits[i]) {
      continue;
    }
    parameters += L" ";
    parameters += catalog[i].name;
    parameters += L"=";
    for (wchar_t c : *edits[i]) {
      if (Plain(c)) {
        parameters += c;
      } else {
        const unsigned code = static_cast<unsigned>(c) & 0xFFFF;
        parameters += L'%';
        for (int shift = 12; shift >= 0; shift -= 4) {
          parameters += kHex[(code >> shift) & 0xF];
        }
      }
    }
  }
  return parameters;
}

bool ReadEdits(const SettingCatalog& catalog, const wchar_t* const* arguments, size_t count,
               FieldTexts& edits) {
  FieldTexts read;
  for (size_t a = 0; a < count; ++a) {
    const std::wstring argument = arguments[a];
    const size_t equals = argument.find(L'=');
    if (equals == std::wstring::npos) {
      return false;
    }
    const std::wstring name = argument.substr(0, equals);
    size_t index = kSettingCount;
    for (size_t i = 0; i < kSettingCount; ++i) {
      index = name == catalog[i].name ? i : index;
    }
    std::wstring text;
    if (index == kSettingCount || read[index] || !Decode(argument.substr(equals + 1), text)) {
      return false;
    }
    read[index] = text;
  }
  edits = read;
  return true;
}
