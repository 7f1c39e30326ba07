#pragma once

#include <cstddef>
#include <cstdint>

#include "text/full_lines.h"

// The x86-64 vector composers, each built with its own target attribute.
// Calling one on a processor that lacks its instructions faults: ask first.
namespace quarlex {

char* compose_full_lines_avx512(char* out, const std::uint8_t* bytes, std::size_t lines,
                                line_parts::LinePrefix prefix);
bool processor_runs_avx512_composer();

char* compose_full_lines_avx2(char* out, const std::uint8_t* bytes, std::size_t lines,
                              line_parts::LinePrefix prefix);
bool processor_runs_avx2_composer();

}  // namespace quarlex
