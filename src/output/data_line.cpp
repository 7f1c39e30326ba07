#include "output/data_line.h"

#include <array>
#include <cstring>

namespace quarlex {
namespace {

struct LinePrefix {
  std::array<char, VALUE_UNIT> text;
  std::size_t length;
};

// Indexed by DataLineForm. Stored as whole units so that the prefix, like a
// value, is one fixed-size store.
constexpr std::array<LinePrefix, 3> LINE_PREFIXES{{
    {{'D', 'B', ' ', ' '}, 3},  // AsmLine
    {{' ', ' ', ' ', ' '}, 0},  // CFirstLine
    {{',', ' ', ' ', ' '}, 1},  // CNextLine
}};

inline char* append_value(char* out, std::uint8_t value) {
  const ValueText& entry = VALUE_TEXTS[value];
  std::memcpy(out, entry.text.data(), VALUE_UNIT);
  return out + entry.length;
}

}  // namespace

char* render_data_line(char* out, const std::uint8_t* bytes, std::size_t count, DataLineForm form) {
  const LinePrefix& prefix = LINE_PREFIXES[static_cast<std::size_t>(form)];
  std::memcpy(out, prefix.text.data(), VALUE_UNIT);
  out += prefix.length;
  if (count == LINE_BYTES) {
    // A constant trip count lets the compiler unroll the common full line.
    for (std::size_t i = 0; i < LINE_BYTES; ++i) out = append_value(out, bytes[i]);
  } else {
    for (std::size_t i = 0; i < count; ++i) out = append_value(out, bytes[i]);
  }
  // Every value left a separator behind it; the line end replaces the last.
  --out;
  std::memcpy(out, LINE_END.data(), LINE_END_BYTES);
  return out + LINE_END_BYTES;
}

bool format_data_line(OutputStream& output, const std::uint8_t* bytes, std::size_t count,
                      DataLineForm form) {
  char* line = output.reserve(DATA_LINE_ROOM);
  if (line == nullptr) return false;
  output.commit(render_data_line(line, bytes, count, form));
  return true;
}

}  // namespace quarlex
