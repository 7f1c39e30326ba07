#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace quarlex {

// Every store of a value's text is this wide, whatever the value's length.
inline constexpr std::size_t VALUE_UNIT = 4;

inline constexpr char VALUE_SEPARATOR = ',';

// One machine word per byte value: the value's decimal text with the
// separator behind it, filled with blanks to VALUE_UNIT bytes, in the word's
// first four bytes in memory; how far the cursor moves past it (digits plus
// separator, 2 to 4) in the other four. For 7 the text is "7,  " and the
// length 2; for 255, "255," and 4. One load brings both, so a value costs a
// load of the byte, a load of its word, one four-byte store and a pointer
// add. The filler is overwritten by whatever comes next.
using ValueText = std::uint64_t;

namespace detail {

constexpr int HALF_WORD_BITS = 32;

// Where text byte `i` sits in the word, so that the text comes first in
// memory whatever the machine's byte order.
constexpr std::size_t text_byte_shift(std::size_t i) {
  return std::endian::native == std::endian::little ? 8 * i
                                                    : HALF_WORD_BITS + 8 * (VALUE_UNIT - 1 - i);
}

constexpr ValueText pack_value_text(const std::array<char, VALUE_UNIT>& text, std::size_t length) {
  std::uint64_t packed_text = 0;
  for (std::size_t i = 0; i < VALUE_UNIT; ++i)
    packed_text |= std::uint64_t{static_cast<unsigned char>(text[i])} << text_byte_shift(i);
  const int length_shift = std::endian::native == std::endian::little ? HALF_WORD_BITS : 0;
  return packed_text | std::uint64_t{length} << length_shift;
}

constexpr ValueText make_value_text(unsigned value) {
  constexpr unsigned TEN = 10;
  std::array<char, VALUE_UNIT> text{' ', ' ', ' ', ' '};
  std::size_t length = 0;
  if (value >= TEN * TEN) text[length++] = static_cast<char>('0' + value / (TEN * TEN));
  if (value >= TEN) text[length++] = static_cast<char>('0' + value / TEN % TEN);
  text[length++] = static_cast<char>('0' + value % TEN);
  text[length++] = VALUE_SEPARATOR;
  return pack_value_text(text, length);
}

}  // namespace detail

// Indexed by the byte value itself: no offset to subtract, no branch on the
// number of digits.
inline constexpr std::array<ValueText, 256> VALUE_TEXTS = [] {
  std::array<ValueText, 256> table{};
  for (unsigned value = 0; value < table.size(); ++value)
    table[value] = detail::make_value_text(value);
  return table;
}();

// How far the cursor moves past the text of `entry`.
constexpr std::size_t value_text_length(ValueText entry) {
  if constexpr (std::endian::native == std::endian::little)
    return static_cast<std::size_t>(entry >> detail::HALF_WORD_BITS);
  else
    return static_cast<std::size_t>(entry & 0xFFFF'FFFFu);
}

// Text byte `i` of `entry`: a digit, the separator or the filler blank.
// REQUIRES: i < VALUE_UNIT.
constexpr char value_text_char(ValueText entry, std::size_t i) {
  return static_cast<char>((entry >> detail::text_byte_shift(i)) & 0xFF);
}

// Copies the four text bytes of `entry` to `out`.
// REQUIRES: `out` has VALUE_UNIT writable bytes.
inline void store_value_text(char* out, ValueText entry) { std::memcpy(out, &entry, VALUE_UNIT); }

namespace detail {
constexpr bool holds(unsigned value, std::string_view expected) {
  const ValueText entry = VALUE_TEXTS[value];
  const std::size_t length = value_text_length(entry);
  if (length != expected.size()) return false;
  for (std::size_t i = 0; i < length; ++i)
    if (value_text_char(entry, i) != expected[i]) return false;
  return true;
}
}  // namespace detail

static_assert(detail::holds(0, "0,"));
static_assert(detail::holds(9, "9,"));
static_assert(detail::holds(10, "10,"));
static_assert(detail::holds(99, "99,"));
static_assert(detail::holds(100, "100,"));
static_assert(detail::holds(255, "255,"));

}  // namespace quarlex
