#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "text/data_line.h"
#include "text/line_end.h"
#include "text/value_texts.h"

// The pieces every data-line composer is built from, so that the portable
// and the vector composers start and end their lines alike.
namespace quarlex::line_parts {

struct LinePrefix {
  std::array<char, VALUE_UNIT> text;
  std::size_t length;
};

// Indexed by DataLineForm. Stored as whole units so that the prefix, like a
// value, is one fixed-size store.
inline constexpr std::array<LinePrefix, 3> LINE_PREFIXES{{
    {{'D', 'B', ' ', ' '}, 3},  // AsmLine
    {{' ', ' ', ' ', ' '}, 0},  // CFirstLine
    {{',', ' ', ' ', ' '}, 1},  // CNextLine
}};

constexpr const LinePrefix& prefix_of(DataLineForm form) {
  return LINE_PREFIXES[static_cast<std::size_t>(form)];
}

// The table's order is the enumeration's.
static_assert(prefix_of(DataLineForm::AsmLine).text[0] == 'D' &&
              prefix_of(DataLineForm::AsmLine).length == 3);
static_assert(prefix_of(DataLineForm::CFirstLine).length == 0);
static_assert(prefix_of(DataLineForm::CNextLine).text[0] == ',' &&
              prefix_of(DataLineForm::CNextLine).length == 1);

inline char* start_line(char* out, const LinePrefix& prefix) {
  std::memcpy(out, prefix.text.data(), VALUE_UNIT);
  return out + prefix.length;
}

inline char* append_value(char* out, std::uint8_t value) {
  const ValueText entry = VALUE_TEXTS[value];
  store_value_text(out, entry);
  return out + value_text_length(entry);
}

// Every value leaves a separator behind it; the line end replaces the last.
inline char* end_line(char* out) {
  --out;
  std::memcpy(out, LINE_END.data(), LINE_END_BYTES);
  return out + LINE_END_BYTES;
}

inline char* compose_line(char* out, const std::uint8_t* bytes, std::size_t count,
                          const LinePrefix& prefix) {
  out = start_line(out, prefix);
  for (std::size_t i = 0; i < count; ++i) out = append_value(out, bytes[i]);
  return end_line(out);
}

}  // namespace quarlex::line_parts
