#include <immintrin.h>

#include <string_view>

#include "write/streaming_copy.h"

// The widest vectors this build may choose, named by the build (the
// QUARLEX_COMPOSER option), so that a build capped to a processor's kind
// behaves as on that processor.
#ifndef QUARLEX_WIDEST_VECTORS
#define QUARLEX_WIDEST_VECTORS ""
#endif

// Each copy's instruction set, named once: for its target attribute and for
// the question the processor must answer yes to before it runs.
#define QUARLEX_AVX512_COPY_FEATURE "avx512f"
#define QUARLEX_AVX2_COPY_FEATURE "avx2"

namespace quarlex {
namespace {

__attribute__((target(QUARLEX_AVX512_COPY_FEATURE))) void stream_avx512(char* to, const char* from,
                                                                        std::size_t size) {
  for (std::size_t at = 0; at < size; at += STREAMED_LINE_BYTES)
    _mm512_stream_si512(reinterpret_cast<__m512i*>(to + at), _mm512_loadu_si512(from + at));
  _mm_sfence();
}

__attribute__((target(QUARLEX_AVX2_COPY_FEATURE))) void stream_avx2(char* to, const char* from,
                                                                    std::size_t size) {
  constexpr std::size_t STEP = sizeof(__m256i);
  for (std::size_t at = 0; at < size; at += STEP)
    _mm256_stream_si256(reinterpret_cast<__m256i*>(to + at),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + at)));
  _mm_sfence();
}

// No 128-bit copy: four streaming stores per line measured slower than
// leaving the text in the cache (docs/performance.md).
struct RunnableCopies {
  NamedStreamingCopy list[2]{};
  std::size_t count = 0;
};

RunnableCopies find_copies() {
  const std::string_view widest = QUARLEX_WIDEST_VECTORS;
  __builtin_cpu_init();
  RunnableCopies found;
  if ((widest.empty() || widest == "avx512") && __builtin_cpu_supports(QUARLEX_AVX512_COPY_FEATURE))
    found.list[found.count++] = {"avx512", stream_avx512};
  if (__builtin_cpu_supports(QUARLEX_AVX2_COPY_FEATURE))
    found.list[found.count++] = {"avx2", stream_avx2};
  return found;
}

}  // namespace

std::span<const NamedStreamingCopy> streaming_copies() {
  static const RunnableCopies runnable = find_copies();
  return {runnable.list, runnable.count};
}

}  // namespace quarlex
