// The edits a panel without write access hands over to the panel it starts
// elevated: on the command line, after the word "edits", one argument
// NAME=TEXT for each changed field, where every character of TEXT but letters
// and digits is written as % and four hexadecimal digits. The arguments need
// no quotes.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "panel/setting_catalog.h"

// What each field holds as the panel reads it (digits, or 0 and 1 for a
// choice or a switch); empty for the fields left as they were.
using FieldTexts = std::array<std::optional<std::wstring>, kSettingCount>;

inline constexpr wchar_t kEditsParameter[] = L"edits";

// The longest text a field takes.
inline constexpr size_t kFieldTextLimit = 20;

// "edits RamAvailable=200 Settings=1", or "edits" alone when nothing changed.
std::wstring EditsParameters(const SettingCatalog& catalog, const FieldTexts& edits);

// Reads the arguments that followed "edits". False, with `edits` untouched,
// when one names no setting, repeats one, or is not written as above.
bool ReadEdits(const SettingCatalog& catalog, const wchar_t* const* arguments, size_t count,
               FieldTexts& edits);
