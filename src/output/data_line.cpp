#include "output/data_line.h"

#include <algorithm>
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

inline char* start_line(char* out, const LinePrefix& prefix) {
  std::memcpy(out, prefix.text.data(), VALUE_UNIT);
  return out + prefix.length;
}

inline char* compose_line(char* out, const std::uint8_t* bytes, std::size_t count,
                          const LinePrefix& prefix) {
  out = start_line(out, prefix);
  for (std::size_t i = 0; i < count; ++i) out = append_value(out, bytes[i]);
  return end_line(out);
}

const LinePrefix& prefix_of(DataLineForm form) {
  return LINE_PREFIXES[static_cast<std::size_t>(form)];
}

}  // namespace

char* format_data_line(char* out, const std::uint8_t* bytes, std::size_t count, DataLineForm form) {
  return compose_line(out, bytes, count, prefix_of(form));
}

bool append_data_lines(OutputStream& output, const std::uint8_t* bytes, std::size_t size,
                       DataLineForm& form) {
  while (size > 0) {
    char* out = output.reserve(DATA_LINE_ROOM);
    if (out == nullptr) return false;
    if (form == DataLineForm::CFirstLine) {
      const std::size_t count = std::min(size, LINE_BYTES);
      out = format_data_line(out, bytes, count, form);
      form = DataLineForm::CNextLine;
      output.commit(out);
      bytes += count;
      size -= count;
      continue;
    }
    // Compose as many lines as the free room surely takes, then append them
    // at once: no check of the room and no call per line. The prefix is
    // copied so that it stays in registers: stores through `out` could
    // otherwise alias it and force a reload for every line.
    const LinePrefix prefix = prefix_of(form);
    const auto room = static_cast<std::size_t>(output.room_end() - out);
    const std::size_t full_lines = std::min(size / LINE_BYTES, room / DATA_LINE_ROOM);
    const std::uint8_t* const full_end = bytes + full_lines * LINE_BYTES;
    // A constant count: the compiler unrolls the line's sixteen values.
    for (; bytes != full_end; bytes += LINE_BYTES)
      out = compose_line(out, bytes, LINE_BYTES, prefix);
    size -= full_lines * LINE_BYTES;
    if (size > 0 && size < LINE_BYTES && room - full_lines * DATA_LINE_ROOM >= DATA_LINE_ROOM) {
      out = compose_line(out, bytes, size, prefix);
      size = 0;
    }
    output.commit(out);
  }
  return true;
}

}  // namespace quarlex
