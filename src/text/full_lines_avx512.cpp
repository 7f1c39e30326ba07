#include <immintrin.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "text/full_lines_x86.h"

// Built only for x86-64 with GCC or Clang. The functions that use the
// 512-bit instructions carry them as a target of their own, so the rest of
// the program still runs on any x86-64 processor; they are called only
// after the processor has been asked whether it has them.
#define QUARLEX_AVX512_TARGET QUARLEX_TARGET_OF(QUARLEX_AVX512_COMPOSER_FEATURES)

namespace quarlex {
namespace {

// One register holds 64 bytes: the values of four whole lines on the way
// in, and on the way out the text of one line, a VALUE_UNIT slot per value
// ("255," or, for 7, two zero bytes then "7,"). The zero bytes are then
// squeezed out, so the text lands as the value-text table would give it.
constexpr std::size_t VECTOR_BYTES = 64;
constexpr std::size_t LINES_PER_STEP = VECTOR_BYTES / LINE_BYTES;
static_assert(LINE_BYTES * VALUE_UNIT == VECTOR_BYTES);
// The whole register is stored behind the prefix; the line's room holds it.
static_assert(LONGEST_PREFIX + VECTOR_BYTES <= DATA_LINE_ROOM);

constexpr std::size_t BYTE_VALUES = 256;
constexpr std::size_t ONES = 0;
constexpr std::size_t TENS = 1;
constexpr std::size_t HUNDREDS = 2;

// The character of one decimal place for every byte value, or zero where
// the value has no digit in that place. Taken from the value-text table, so
// that both composers render from the same texts.
using DigitTable = std::array<std::uint8_t, BYTE_VALUES>;

constexpr DigitTable digit_table(std::size_t place) {
  DigitTable table{};
  for (std::size_t value = 0; value < BYTE_VALUES; ++value) {
    const ValueText entry = VALUE_TEXTS[value];
    const std::size_t digits = value_text_length(entry) - 1;  // less the separator
    if (place < digits)
      table[value] = static_cast<std::uint8_t>(value_text_char(entry, digits - 1 - place));
  }
  return table;
}

constexpr DigitTable ONES_DIGITS = digit_table(ONES);
constexpr DigitTable TENS_DIGITS = digit_table(TENS);
constexpr DigitTable HUNDREDS_DIGITS = digit_table(HUNDREDS);
static_assert(ONES_DIGITS[7] == '7' && TENS_DIGITS[7] == 0 && HUNDREDS_DIGITS[7] == 0);
static_assert(ONES_DIGITS[10] == '0' && TENS_DIGITS[10] == '1' && HUNDREDS_DIGITS[99] == 0);
static_assert(ONES_DIGITS[255] == '5' && TENS_DIGITS[255] == '5' && HUNDREDS_DIGITS[255] == '2');

// A two-register permute picks bytes from 128 entries; its second register
// is addressed from this index on.
constexpr std::uint8_t SECOND_REGISTER = 64;

// Index vectors that lay the values of line `line` of a step out in slots.
// The first picks the hundreds digit (from the first register) and the
// tens digit (from the second) into slot bytes 0 and 1; the second picks
// the ones digit and the separator into bytes 2 and 3.
using SlotIndex = std::array<std::uint8_t, VECTOR_BYTES>;

constexpr SlotIndex slot_index(std::size_t line, bool leading_pair) {
  SlotIndex index{};
  for (std::size_t i = 0; i < VECTOR_BYTES; ++i) {
    const auto value = static_cast<std::uint8_t>(line * LINE_BYTES + i / VALUE_UNIT);
    const std::size_t slot_byte = i % VALUE_UNIT;
    if (leading_pair)
      index[i] = slot_byte == 0 ? value : static_cast<std::uint8_t>(SECOND_REGISTER + value);
    else
      index[i] = slot_byte == 2 ? value : SECOND_REGISTER;
  }
  return index;
}

constexpr std::array<SlotIndex, LINES_PER_STEP> slot_indices(bool leading_pair) {
  std::array<SlotIndex, LINES_PER_STEP> indices{};
  for (std::size_t line = 0; line < LINES_PER_STEP; ++line)
    indices[line] = slot_index(line, leading_pair);
  return indices;
}

constexpr auto LEADING_PAIR_INDEX = slot_indices(true);
constexpr auto TRAILING_PAIR_INDEX = slot_indices(false);

// Bytes 0 and 1 of every slot.
constexpr __mmask64 LEADING_PAIR_BYTES = 0x3333'3333'3333'3333;

// A 256-entry table held in four registers for the whole call.
struct RegisterTable {
  __m512i quarter[4];
};

QUARLEX_AVX512_TARGET inline RegisterTable load_table(const DigitTable& table) {
  RegisterTable loaded;
  for (std::size_t i = 0; i < 4; ++i)
    loaded.quarter[i] = _mm512_loadu_si512(table.data() + i * VECTOR_BYTES);
  return loaded;
}

// Looks every byte of `values` up in `table`. A permute takes the low seven
// bits as its index, so it covers one half of the table; the top bit of
// each value (`upper_half`) picks between the halves.
QUARLEX_AVX512_TARGET inline __m512i look_up(__m512i values, __mmask64 upper_half,
                                             const RegisterTable& table) {
  const __m512i lower = _mm512_permutex2var_epi8(table.quarter[0], values, table.quarter[1]);
  const __m512i upper = _mm512_permutex2var_epi8(table.quarter[2], values, table.quarter[3]);
  return _mm512_mask_blend_epi8(upper_half, lower, upper);
}

}  // namespace

QUARLEX_AVX512_TARGET char* compose_full_lines_avx512(char* out, const std::uint8_t* bytes,
                                                      std::size_t lines,
                                                      line_parts::LinePrefix prefix) {
  const RegisterTable ones = load_table(ONES_DIGITS);
  const RegisterTable tens = load_table(TENS_DIGITS);
  const RegisterTable hundreds = load_table(HUNDREDS_DIGITS);
  const __m512i separators = _mm512_set1_epi8(VALUE_SEPARATOR);
  __m512i leading_index[LINES_PER_STEP];
  __m512i trailing_index[LINES_PER_STEP];
  for (std::size_t line = 0; line < LINES_PER_STEP; ++line) {
    leading_index[line] = _mm512_loadu_si512(LEADING_PAIR_INDEX[line].data());
    trailing_index[line] = _mm512_loadu_si512(TRAILING_PAIR_INDEX[line].data());
  }

  const std::uint8_t* const steps_end = bytes + lines / LINES_PER_STEP * VECTOR_BYTES;
  for (; bytes != steps_end; bytes += VECTOR_BYTES) {
    const __m512i values = _mm512_loadu_si512(bytes);
    const __mmask64 upper_half = _mm512_movepi8_mask(values);
    const __m512i ones_digits = look_up(values, upper_half, ones);
    const __m512i tens_digits = look_up(values, upper_half, tens);
    const __m512i hundreds_digits = look_up(values, upper_half, hundreds);
    for (std::size_t line = 0; line < LINES_PER_STEP; ++line) {
      const __m512i leading =
          _mm512_permutex2var_epi8(hundreds_digits, leading_index[line], tens_digits);
      const __m512i trailing =
          _mm512_permutex2var_epi8(ones_digits, trailing_index[line], separators);
      const __m512i slots = _mm512_mask_blend_epi8(LEADING_PAIR_BYTES, trailing, leading);
      // Only the missing leading digits are zero bytes.
      const __mmask64 text_bytes = _mm512_test_epi8_mask(slots, slots);
      out = line_parts::start_line(out, prefix);
      _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(text_bytes, slots));
      out = line_parts::end_line(out + std::popcount(text_bytes));
    }
  }
  return compose_full_lines_portable(out, bytes, lines % LINES_PER_STEP, prefix);
}

}  // namespace quarlex
