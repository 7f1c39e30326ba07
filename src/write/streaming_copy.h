#pragma once

#include <cstddef>
#include <span>

namespace quarlex {

// A cache line: what a streaming copy moves at a time.
inline constexpr std::size_t STREAMED_LINE_BYTES = 64;

// Copies `size` bytes, a whole number of cache lines, from `from` to `to`,
// which starts on a cache line, with stores that go past the processor's
// caches into memory; every store is visible to other threads before it
// returns. Text that another processor reads next then comes from memory,
// instead of being fetched line by line out of this processor's cache.
using StreamingCopy = void (*)(char* to, const char* from, std::size_t size);

struct NamedStreamingCopy {
  const char* name;
  StreamingCopy copy;
};

// The streaming copies this build has and this processor runs, widest
// first; none where the build has none worth having.
std::span<const NamedStreamingCopy> streaming_copies();

// The widest of them; nullptr where there is none.
inline StreamingCopy streaming_copy() {
  const std::span<const NamedStreamingCopy> copies = streaming_copies();
  return copies.empty() ? nullptr : copies.front().copy;
}

}  // namespace quarlex
