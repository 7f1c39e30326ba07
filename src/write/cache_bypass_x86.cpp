#include <emmintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "write/cache_bypass.h"

namespace quarlex {
namespace {

constexpr std::size_t CACHE_LINE_BYTES = 64;
constexpr std::size_t STORE_BYTES = sizeof(__m128i);

}  // namespace

char* copy_past_cache(char* out, const char* text, std::size_t size) {
  // Only lines written whole may bypass the cache; the partial ones at
  // either end are copied the ordinary way.
  const std::size_t misalignment = reinterpret_cast<std::uintptr_t>(out) % CACHE_LINE_BYTES;
  const std::size_t head = std::min(size, (CACHE_LINE_BYTES - misalignment) % CACHE_LINE_BYTES);
  std::memcpy(out, text, head);
  std::size_t done = head;
  for (; size - done >= CACHE_LINE_BYTES; done += CACHE_LINE_BYTES) {
    for (std::size_t part = 0; part < CACHE_LINE_BYTES; part += STORE_BYTES) {
      const __m128i piece = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + done + part));
      _mm_stream_si128(reinterpret_cast<__m128i*>(out + done + part), piece);
    }
  }
  std::memcpy(out + done, text + done, size - done);
  return out + size;
}

void finish_copies_past_cache() { _mm_sfence(); }

}  // namespace quarlex
