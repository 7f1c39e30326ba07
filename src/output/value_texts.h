#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quarlex {

// Every store of a value's text is this wide, whatever the value's length.
inline constexpr std::size_t VALUE_UNIT = 4;

inline constexpr char VALUE_SEPARATOR = ',';

// The decimal text of one byte value with the separator behind it, laid out
// so that rendering a value costs one load, one fixed four-byte store and
// one pointer add. For 7 the entry is {"7,  ", 2}; for 255 it is {"255,", 4}.
// Bytes past `length` are filler: the next store overwrites them.
struct alignas(8) ValueText {
  std::array<char, VALUE_UNIT> text;
  std::uint8_t length;  // digits plus the separator, 2 to 4
};

namespace detail {

constexpr ValueText make_value_text(unsigned value) {
  constexpr unsigned TEN = 10;
  std::array<char, VALUE_UNIT> digits{' ', ' ', ' ', ' '};
  std::size_t length = 0;
  if (value >= TEN * TEN) digits[length++] = static_cast<char>('0' + value / (TEN * TEN));
  if (value >= TEN) digits[length++] = static_cast<char>('0' + value / TEN % TEN);
  digits[length++] = static_cast<char>('0' + value % TEN);
  digits[length++] = VALUE_SEPARATOR;
  return ValueText{digits, static_cast<std::uint8_t>(length)};
}

constexpr std::array<ValueText, 256> make_value_texts() {
  std::array<ValueText, 256> table{};
  for (unsigned value = 0; value < table.size(); ++value) table[value] = make_value_text(value);
  return table;
}

constexpr bool holds(const ValueText& entry, std::string_view expected) {
  return std::string_view(entry.text.data(), entry.length) == expected;
}

}  // namespace detail

// Indexed by the byte value itself: no offset to subtract, no branch on width.
inline constexpr std::array<ValueText, 256> VALUE_TEXTS = detail::make_value_texts();

static_assert(detail::holds(VALUE_TEXTS[0], "0,"));
static_assert(detail::holds(VALUE_TEXTS[9], "9,"));
static_assert(detail::holds(VALUE_TEXTS[10], "10,"));
static_assert(detail::holds(VALUE_TEXTS[99], "99,"));
static_assert(detail::holds(VALUE_TEXTS[100], "100,"));
static_assert(detail::holds(VALUE_TEXTS[255], "255,"));
static_assert(sizeof(ValueText) == 8, "one entry per 8 bytes keeps the table at 2 KiB");

}  // namespace quarlex
