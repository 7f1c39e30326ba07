#pragma once

#include <cstddef>
#include <cstdint>

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

// A composer that renders many values per instruction, when this build has
// one and the processor it runs on can execute it; nullptr otherwise. Its
// output is byte for byte the portable composer's.
FullLineComposer vector_full_line_composer();

// The fastest composer this processor runs, chosen once.
FullLineComposer full_line_composer();

}  // namespace quarlex
