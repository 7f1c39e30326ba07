// The decisions of how OUTPUT is written, from tables of facts: nothing
// here needs root or a particular file system.

#include "write/output_file.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace quarlex {
namespace {

constexpr std::uint64_t KIB = 1024;
constexpr std::uint64_t MIB = KIB * KIB;

TEST(WayToMakeRoom, FromWhatTheFileSystemPromises) {
  constexpr std::uint64_t BLOCK = 4 * KIB;
  const struct {
    const char* what;
    RoomFacts facts;  // reservation_holds, copies_on_write, length, allocated, free, block
    std::uint64_t size;
    RoomWay expected;
  } cases[] = {
      {"reserving, longer text, room free",
       {true, false, 10 * KIB, 12 * KIB, MIB, BLOCK},
       100 * KIB,
       RoomWay::Reserve},
      {"reserving, longer text, too little free",
       {true, false, 10 * KIB, 12 * KIB, 80 * KIB, BLOCK},
       100 * KIB,
       RoomWay::TooLittle},
      {"reserving, shorter text: every block there",
       {true, false, 100 * KIB, 100 * KIB, 0, BLOCK},
       10 * KIB,
       RoomWay::Enough},
      {"reserving, as long: every block there",
       {true, false, 100 * KIB, 100 * KIB, 0, BLOCK},
       100 * KIB,
       RoomWay::Enough},
      {"room beyond the end is no promise",
       {true, false, 0, 100 * KIB, 0, BLOCK},
       10 * KIB,
       RoomWay::TooLittle},
      {"no reservation (ext2), as long", {false, false, MIB, MIB, 0, BLOCK}, MIB, RoomWay::Enough},
      {"no reservation (ext2), longer, room",
       {false, false, KIB, BLOCK, MIB, BLOCK},
       512 * KIB,
       RoomWay::Enough},
      {"no reservation (ext2), longer, no room",
       {false, false, KIB, BLOCK, 400 * KIB, BLOCK},
       512 * KIB,
       RoomWay::TooLittle},
      {"a hole (nothing allocated) needs its blocks",
       {false, false, MIB, 0, 512 * KIB, BLOCK},
       MIB,
       RoomWay::TooLittle},
      {"copy on write (btrfs), as long, no room",
       {false, true, MIB, MIB, 512 * KIB, BLOCK},
       MIB,
       RoomWay::TooLittle},
      {"copy on write (btrfs), as long, room",
       {false, true, MIB, MIB, 2 * MIB, BLOCK},
       MIB,
       RoomWay::Enough},
      {"copy on write, the records' share counts",
       {false, true, 0, 0, 64 * MIB, BLOCK},
       64 * MIB,
       RoomWay::TooLittle},
      {"an empty text needs nothing", {false, true, 0, 0, 0, BLOCK}, 0, RoomWay::Enough},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(way_to_make_room(c.facts, c.size), c.expected);
  }
}

}  // namespace
}  // namespace quarlex
