// FixedText: a line of text of fixed capacity, built without allocating, for
// the texts the panel refreshes every second. Text beyond the capacity is
// dropped; the line always stays terminated.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

class FixedText {
 public:
  static constexpr size_t kCapacity = 192;

  FixedText() { text_[0] = 0; }

  FixedText& Append(std::wstring_view text);
  // A count with thousands separators: 1,048,576.
  FixedText& AppendNumber(uint64_t value);
  void Clear();

  const wchar_t* c_str() const { return text_.data(); }
  std::wstring_view view() const { return {text_.data(), length_}; }
  size_t size() const { return length_; }

  bool operator==(const FixedText& other) const { return view() == other.view(); }

 private:
  std::array<wchar_t, kCapacity> text_;
  size_t length_ = 0;
};
