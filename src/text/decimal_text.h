#pragma once

#include <charconv>
#include <concepts>
#include <iterator>
#include <limits>
#include <string>

namespace quarlex {

// Appends `value` in decimal, without leading zeros, to `text`. For the few
// numbers of a header or closing text; data lines have their own tables.
template <std::integral Number>
void append_decimal(std::string& text, Number value) {
  // Room for every digit and a sign.
  char digits[std::numeric_limits<Number>::digits10 + 2];
  const auto result = std::to_chars(std::begin(digits), std::end(digits), value);
  text.append(digits, result.ptr);
}

}  // namespace quarlex
