#include "text/full_lines.h"

namespace quarlex {

char* compose_full_lines_portable(char* out, const std::uint8_t* bytes, std::size_t lines,
                                  line_parts::LinePrefix prefix) {
  // The prefix arrives by value so that it stays in registers: stores
  // through `out` could otherwise alias it and force a reload per line. A
  // constant count lets the compiler unroll the line's sixteen values.
  for (const std::uint8_t* const end = bytes + lines * LINE_BYTES; bytes != end;
       bytes += LINE_BYTES)
    out = line_parts::compose_line(out, bytes, LINE_BYTES, prefix);
  return out;
}

FullLineComposer full_line_composer() {
  static const FullLineComposer chosen = [] {
    const std::span<const VectorComposer> vector = vector_full_line_composers();
    return vector.empty() ? compose_full_lines_portable : vector.front().compose;
  }();
  return chosen;
}

}  // namespace quarlex
