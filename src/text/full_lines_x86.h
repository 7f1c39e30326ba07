#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "text/full_lines.h"

// The x86-64 vector composers, each built with its own target attribute.
// Calling one on a processor that lacks its instructions faults: ask first.
//
// Each composer's instruction sets are named in ONE list below, which
// gives both the target attribute its code is compiled with and the
// run-time question that must be answered yes before it runs: a set the
// code may use is then always a set the processor was asked for.
// LIST(FEATURE, JOIN) expands to FEATURE("a") JOIN FEATURE("b") ...
#define QUARLEX_AVX512_COMPOSER_FEATURES(FEATURE, JOIN)                           \
  FEATURE("avx512f")                                                              \
  JOIN FEATURE("avx512bw") JOIN FEATURE("avx512vbmi") JOIN FEATURE("avx512vbmi2") \
      JOIN FEATURE("popcnt")
#define QUARLEX_AVX2_COMPOSER_FEATURES(FEATURE, JOIN) FEATURE("avx2") JOIN FEATURE("popcnt")

#define QUARLEX_FEATURE_NAME(name) name
#define QUARLEX_FEATURE_COMMA ,
// The target attribute for a list: target("a,b,...").
#define QUARLEX_TARGET_OF(LIST) __attribute__((target(LIST(QUARLEX_FEATURE_NAME, ","))))

namespace quarlex {

char* compose_full_lines_avx512(char* out, const std::uint8_t* bytes, std::size_t lines,
                                line_parts::LinePrefix prefix);
char* compose_full_lines_avx2(char* out, const std::uint8_t* bytes, std::size_t lines,
                              line_parts::LinePrefix prefix);

// Whether the processor this runs on has the instruction set `feature`, by
// the compiler's name for it; false for a name no composer's list holds.
using ProcessorHas = bool (*)(std::string_view feature);
bool this_processor_has(std::string_view feature);

// The vector composers a processor runs, as `has` describes it, fastest
// first, none faster than `fastest` (a composer's name, or "" for all):
// each one only if `has` answers yes for every feature on its list.
struct RunnableComposers {
  static constexpr std::size_t MOST = 2;
  VectorComposer list[MOST]{};
  std::size_t count = 0;
  std::span<const VectorComposer> composers() const { return {list, count}; }
};
RunnableComposers composers_for(ProcessorHas has, std::string_view fastest);

}  // namespace quarlex
