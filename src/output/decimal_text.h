#pragma once

#include <charconv>
#include <cstdint>
#include <string>

namespace quarlex {

// Appends `value` in decimal, without leading zeros, to `text`. For the few
// numbers of a header or closing text; data lines have their own tables.
inline void append_decimal(std::string& text, std::int64_t value) {
  constexpr std::size_t LONGEST_INT64 = 20;  // "-9223372036854775808"
  char digits[LONGEST_INT64];
  const auto result = std::to_chars(digits, digits + LONGEST_INT64, value);
  text.append(digits, result.ptr);
}

inline void append_decimal(std::string& text, std::uint64_t value) {
  constexpr std::size_t LONGEST_UINT64 = 20;  // "18446744073709551615"
  char digits[LONGEST_UINT64];
  const auto result = std::to_chars(digits, digits + LONGEST_UINT64, value);
  text.append(digits, result.ptr);
}

}  // namespace quarlex
