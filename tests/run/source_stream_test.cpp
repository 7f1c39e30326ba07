#include "run/source_stream.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "random_bytes.h"
#include "scratch_folder.h"

namespace quarlex {
namespace {

constexpr std::size_t BLOCKS = 21;
constexpr std::size_t LAST_BLOCK_BYTES = 1000;

// What the test does to the helper before taking a block.
enum class Call { None, Start, Stop };

// Whichever way the blocks are read, by the run or by a helper started and
// stopped anywhere, they come whole, in order, and end with the short one.
TEST(SourceBlocks, ComeInOrderHoweverTheyAreReadAhead) {
  const struct {
    const char* what;
    bool may_read_ahead;
    std::vector<Call> before;  // indexed by block; None past its end
  } cases[] = {
      {"never read ahead", true, {}},
      {"read ahead from the first block", true, {Call::Start}},
      {"started late, never stopped", true, {Call::None, Call::None, Call::None, Call::Start}},
      {"stopped at once after starting", true, {Call::Start, Call::Stop}},
      {"started and stopped by turns",
       true,
       {Call::None, Call::Start, Call::None, Call::Stop, Call::None, Call::Start, Call::Start,
        Call::Stop, Call::Stop, Call::Start}},
      {"stopped just before the last block", true,
       [] {
         std::vector<Call> calls(BLOCKS, Call::None);
         calls.front() = Call::Start;
         calls.back() = Call::Stop;
         return calls;
       }()},
      {"a source that may not be read ahead", false, {Call::Start}},
  };
  const support::ScratchFolder folder;
  const std::string bytes =
      support::random_bytes((BLOCKS - 1) * READ_BLOCK + LAST_BLOCK_BYTES, 2612);
  support::write_file(folder / "source", bytes);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SourceFile source = open_source((folder / "source").string().c_str());
    ASSERT_TRUE(source);
    SourceBlocks blocks(source.get(), c.may_read_ahead);
    std::string taken;
    for (std::size_t i = 0; i < BLOCKS; ++i) {
      const Call call = i < c.before.size() ? c.before[i] : Call::None;
      if (call == Call::Start && !blocks.start()) {
        EXPECT_FALSE(c.may_read_ahead);
      }
      if (call == Call::Stop) blocks.stop();
      const BlockRead read = blocks.next();
      ASSERT_EQ(read.error, 0);
      ASSERT_EQ(read.size, i + 1 < BLOCKS ? READ_BLOCK : LAST_BLOCK_BYTES) << "block " << i;
      taken.append(reinterpret_cast<const char*>(blocks.data()), read.size);
    }
    EXPECT_TRUE(taken == bytes);
    // Once the last block is read the source may be closed: no helper
    // starts reading it again.
    EXPECT_FALSE(blocks.start());
    EXPECT_EQ(blocks.next().size, 0u);
  }
}

}  // namespace
}  // namespace quarlex
