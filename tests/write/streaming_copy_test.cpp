#include "write/streaming_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "random_bytes.h"
#include "write/chunk_writer.h"

namespace quarlex {
namespace {

// Each streaming copy this processor runs copies exactly the lines it is
// given, to a line's start, and not a byte more.
TEST(StreamingCopy, CopiesWholeLinesExactly) {
  if (streaming_copies().empty()) GTEST_SKIP() << "no streaming copy in this build or processor";
  constexpr std::size_t MOST = 64 * STREAMED_LINE_BYTES;
  constexpr char UNTOUCHED = '#';
  const std::string text = support::random_bytes(MOST, 3);
  for (const NamedStreamingCopy& named : streaming_copies()) {
    for (const std::size_t lines : {0u, 1u, 2u, 63u, 64u}) {
      SCOPED_TRACE(std::string(named.name) + ", " + std::to_string(lines) + " lines");
      const std::size_t size = lines * STREAMED_LINE_BYTES;
      // From a source off a line's start, as the stage's text may be.
      const std::string from = "." + text;
      const ChunkBuffer to = new_chunk_buffer(MOST + STREAMED_LINE_BYTES);
      std::fill_n(to.get(), MOST + STREAMED_LINE_BYTES, UNTOUCHED);
      named.copy(to.get(), from.data() + 1, size);
      EXPECT_EQ(std::string(to.get(), size), text.substr(0, size));
      EXPECT_EQ(std::string(to.get() + size, STREAMED_LINE_BYTES),
                std::string(STREAMED_LINE_BYTES, UNTOUCHED));
    }
  }
  // The widest one is the one chosen.
  EXPECT_EQ(streaming_copy(), streaming_copies().front().copy);
}

}  // namespace
}  // namespace quarlex
