#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "text/line_parts.h"

namespace quarlex {

// Composes `lines` lines of LINE_BYTES values each from `bytes`, every one
// behind `prefix`, at `out`, and returns the end of the last.
// REQUIRES: `out` has lines * DATA_LINE_ROOM writable bytes.
using FullLineComposer = char* (*)(char* out, const std::uint8_t* bytes, std::size_t lines,
                                   line_parts::LinePrefix prefix);

// One value at a time, by the value-text table: runs on any processor.
char* compose_full_lines_portable(char* out, const std::uint8_t* bytes, std::size_t lines,
                                  line_parts::LinePrefix prefix);

// A composer that renders many values per instruction. Its output is byte
// for byte the portable composer's.
struct VectorComposer {
  const char* name;
  FullLineComposer compose;
};

// The vector composers this build has and the processor it runs on can
// execute, fastest first; none on other processors.
std::span<const VectorComposer> vector_full_line_composers();

// The fastest composer this processor runs, chosen once.
FullLineComposer full_line_composer();

}  // namespace quarlex
