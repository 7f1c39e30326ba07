// The decisions of how OUTPUT is written, from tables of facts: nothing
// here needs root or a particular file system.

#include "write/output_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>

#include "write/file_identity.h"

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

// One regular file, and the same facts under another inode number, as
// FAT through FUSE gives each name of one file.
FileFacts a_file(std::uint64_t inode, std::uint64_t size = 100, std::uint64_t device = 7) {
  return FileFacts{FileKind::Regular, {device, inode}, size, 1, 1'000'000'001, 1'000'000'002};
}

TEST(SameFile, OneFileUnderAnyNameWhereTheFileSystemSaysSo) {
  const struct {
    const char* what;
    FileFacts first;
    std::string first_path;
    FileFacts second;
    std::string second_path;
    bool folds;
    bool expected;
  } cases[] = {
      {"one identity", a_file(1), "/m/a.h", a_file(1), "/m/b.h", false, true},
      {"case only, folding", a_file(1), "/m/DATA.H", a_file(2), "/m/data.h", true, true},
      {"case only, where case matters", a_file(1), "/m/DATA.H", a_file(2), "/m/data.h", false,
       false},
      {"first letter", a_file(1), "/m/A.h", a_file(2), "/m/a.h", true, true},
      {"last letter", a_file(1), "/m/Z.h", a_file(2), "/m/z.h", true, true},
      {"next to the letters: @ and `", a_file(1), "/m/@.h", a_file(2), "/m/`.h", true, false},
      {"next to the letters: [ and {", a_file(1), "/m/[.h", a_file(2), "/m/{.h", true, false},
      {"other names", a_file(1), "/m/a.h", a_file(2), "/m/b.h", true, false},
      {"other sizes", a_file(1), "/m/a.h", a_file(2, 101), "/m/A.h", true, false},
      {"other devices", a_file(1), "/m/a.h", a_file(2, 100, 8), "/m/A.h", true, false},
      {"no path known", a_file(1), "", a_file(2), "", true, false},
      {"a missing file", FileFacts{}, "/m/a.h", FileFacts{}, "/m/a.h", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(same_file(c.first, c.first_path, c.second, c.second_path, c.folds), c.expected);
    EXPECT_EQ(same_file(c.second, c.second_path, c.first, c.first_path, c.folds), c.expected);
  }
}

TEST(WayForExistingFile, RenameOnlyWhereItKeepsEverything) {
  using Change = void (*)(ReplacementFacts&);
  const struct {
    const char* what;
    Change change;
    OutputWay expected;
  } cases[] = {
      {"nothing lost", [](ReplacementFacts&) {}, OutputWay::ByRename},
      {"other names", [](ReplacementFacts& f) { f.other_names = true; }, OutputWay::InPlace},
      {"a folder the user may not write",
       [](ReplacementFacts& f) { f.folder_write_error = EACCES; }, OutputWay::InPlace},
      {"an append-only folder", [](ReplacementFacts& f) { f.folder_entries_fixed = true; },
       OutputWay::InPlace},
      {"a mount point", [](ReplacementFacts& f) { f.mount_point = true; }, OutputWay::InPlace},
      {"a sticky folder", [](ReplacementFacts& f) { f.sticky_protected = true; },
       OutputWay::InPlace},
      {"an owner not kept", [](ReplacementFacts& f) { f.owner_kept = false; }, OutputWay::InPlace},
      {"a group not kept", [](ReplacementFacts& f) { f.group_kept = false; }, OutputWay::InPlace},
      {"attributes not kept", [](ReplacementFacts& f) { f.attributes_kept = false; },
       OutputWay::InPlace},
      {"flags not kept", [](ReplacementFacts& f) { f.flags_kept = false; }, OutputWay::InPlace},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ReplacementFacts facts;
    c.change(facts);
    EXPECT_EQ(way_for_existing_file(facts), c.expected);
  }
}

}  // namespace
}  // namespace quarlex
