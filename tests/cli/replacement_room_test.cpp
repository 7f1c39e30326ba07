// Written in place, OUTPUT keeps its old text whole when its disk is full,
// on every local file system, whatever that file system promises about
// room; and a failed run gives back all the room it took.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli_support.h"
#include "small_file_system.h"

namespace quarlex::cli {
namespace {

const std::string OLD_TEXT = "the old output, which must survive whole\n";
// Its include file is over five times as large.
constexpr std::size_t SOURCE_BYTES = std::size_t{1} << 20;
constexpr std::uintmax_t FREE_LEFT = std::uintmax_t{2} << 20;

// Takes all but about `left` bytes of the free room of `small`, in `file`.
// btrfs tells more free room than a file can take while it still settles
// what a removed file had: the request shrinks until it fits.
void fill_but(const support::SmallFileSystem& small, const fs::path& file, std::uintmax_t left) {
  constexpr std::uintmax_t STEP = std::uintmax_t{1} << 20;
  constexpr int ATTEMPTS = 16;
  const int filler = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(filler, 0);
  int error = ENOSPC;
  for (int attempt = 0; attempt < ATTEMPTS && error == ENOSPC; ++attempt) {
    ::sync();
    const std::uintmax_t free_now = small.free_bytes();
    const std::uintmax_t less = static_cast<std::uintmax_t>(attempt) * STEP;
    ASSERT_GT(free_now, left + less);
    // Writes zeros where the file system reserves nothing (ext2, ext3).
    error = ::posix_fallocate(filler, 0, static_cast<off_t>(free_now - left - less));
  }
  EXPECT_EQ(error, 0);
  EXPECT_EQ(::fsync(filler), 0);
  ::close(filler);
  ::sync();
  EXPECT_LE(small.free_bytes(), left + ATTEMPTS * STEP);
}

TEST(Room, AFullDiskLeavesTheOldTextWholeOnEveryFileSystem) {
  if (testing_windows_build()) GTEST_SKIP() << "Linux file systems";
  if (::geteuid() != 0) GTEST_SKIP() << "mounting file systems needs root, as CI runs the tests";
  const struct {
    const char* what;
    support::SmallKind kind;
    const char* size;
    const char* maker;  // the program that makes it
    bool copies_on_write;
  } cases[] = {
      {"tmpfs", support::SmallKind::Tmpfs, "16M", "mount", false},
      {"ext4", support::SmallKind::Ext4, "20M", "mkfs.ext4", false},
      {"ext3", support::SmallKind::Ext3, "20M", "mkfs.ext3", false},
      {"ext2", support::SmallKind::Ext2, "20M", "mkfs.ext2", false},
      {"XFS", support::SmallKind::Xfs, "300M", "mkfs.xfs", false},
      {"btrfs", support::SmallKind::Btrfs, "128M", "mkfs.btrfs", true},
  };
  ScratchFolder dir;
  const std::string bytes = sample_bytes(SOURCE_BYTES);
  write_file(dir / "big.bin", bytes);
  const std::string expected = include_file(Flavour::CSource, "big.bin", "big_bin", bytes);
  // Old texts: a short one, and one as long as the new text, whose blocks
  // the new text can take where the file system writes over them.
  const std::string short_old = OLD_TEXT;
  const std::string long_old(expected.size(), 'o');
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (run_shell(std::string("command -v ") + c.maker + " > /dev/null") != 0) {
      std::cout << "skipped case: " << c.what << ": needs " << c.maker << "\n";
      continue;
    }
    const fs::path place = dir / c.what;
    const support::SmallFileSystem small(place, c.size, c.kind);
    if (!small.mounted()) {
      std::cout << "skipped case: " << c.what << ": " << small.why_not() << "\n";
      continue;
    }
    // TMPDIR off the small file system, with room for the whole text.
    const std::string tmpdir = "TMPDIR=" + shell_quote(dir.path().string());
    const std::string output = std::string(c.what) + "/out.h";
    for (const std::string* old : {&short_old, &long_old}) {
      SCOPED_TRACE(old->size());
      write_file(place / "out.h", *old);
      // A second name: the file is written in place.
      fs::create_hard_link(place / "out.h", place / "other.h");
      fill_but(small, place / "filler", FREE_LEFT);
      ::sync();
      const std::uintmax_t free_before = small.free_bytes();
      const ToolRun full = run_quarlex(dir.path(), {"big.bin", output}, tmpdir);
      // Only where writing over the old blocks takes none (no copy on
      // write) does the long old text leave room enough.
      const bool room_enough = old == &long_old && !c.copies_on_write;
      if (room_enough) {
        EXPECT_EQ(full.status, 0) << full.errors;
        EXPECT_EQ(mask_date_line(read_file(place / "other.h")), expected);
      } else {
        EXPECT_EQ(full.status, 1);
        EXPECT_EQ(full.errors, "quarlex: cannot write '" + output + "': No space left on device\n");
        EXPECT_TRUE(read_file(place / "out.h") == *old);
        EXPECT_TRUE(read_file(place / "other.h") == *old);
        ::sync();
        // XFS may give back some room of its own meanwhile.
        EXPECT_GE(small.free_bytes(), free_before) << "room kept after a failed run";
      }
      // With room, the same run completes.
      fs::remove(place / "filler");
      ::sync();
      const ToolRun roomy = run_quarlex(dir.path(), {"big.bin", output}, tmpdir);
      EXPECT_EQ(roomy.status, 0) << roomy.errors;
      EXPECT_EQ(mask_date_line(read_file(place / "other.h")), expected);
      EXPECT_EQ(inode_of(place / "out.h"), inode_of(place / "other.h"));
      fs::remove(place / "other.h");
    }
  }
}

// A signal while room is reserved in OUTPUT, or a failed reservation,
// gives back all of it, and OUTPUT's text and modification time stay as
// they were: a build that compares times must not take the old text for
// new. strace puts the signal or the failure into the reservation itself.
TEST(Room, AnEndedReservationGivesBackEverything) {
  if (const std::string why = signals_held_back(); !why.empty()) GTEST_SKIP() << why;
  if (testing_another_executable()) GTEST_SKIP() << "traces this build's executable itself";
  if (::geteuid() != 0) GTEST_SKIP() << "mounting file systems needs root, as CI runs the tests";
  if (run_shell("command -v strace > /dev/null") != 0) GTEST_SKIP() << "needs strace";
  const struct {
    const char* what;
    support::SmallKind kind;
    const char* size;
  } systems[] = {
      {"tmpfs", support::SmallKind::Tmpfs, "16M"},
      {"ext4", support::SmallKind::Ext4, "20M"},
      {"XFS", support::SmallKind::Xfs, "300M"},
  };
  ScratchFolder dir;
  write_file(dir / "big.bin", sample_bytes(SOURCE_BYTES));
  for (const auto& system : systems) {
    const fs::path place = dir / system.what;
    const support::SmallFileSystem small(place, system.size, system.kind);
    if (!small.mounted()) {
      std::cout << "skipped case: " << system.what << ": " << small.why_not() << "\n";
      continue;
    }
    for (const char* injected : {"signal=SIGTERM", "signal=SIGINT", "error=ENOSPC"}) {
      SCOPED_TRACE(std::string(system.what) + ", " + injected);
      write_file(place / "out.h", OLD_TEXT);
      fs::create_hard_link(place / "out.h", place / "other.h");
      const struct timespec old_time[2] = {{0, UTIME_OMIT}, {1'600'000'000, 123'456'789}};
      ASSERT_EQ(::utimensat(AT_FDCWD, (place / "out.h").c_str(), old_time, 0), 0);
      ::sync();
      const std::uintmax_t free_before = small.free_bytes();
      const ToolRun run =
          run_quarlex(dir.path(), {"big.bin", std::string(system.what) + "/out.h"},
                      UNDER_STRACE + " -P " + shell_quote((place / "out.h").string()) +
                          " -e trace=fallocate -e inject=fallocate:" + injected);
      EXPECT_NE(run.status, 0);
      EXPECT_EQ(read_file(place / "other.h"), OLD_TEXT);
      struct stat facts {};
      ASSERT_EQ(::stat((place / "out.h").c_str(), &facts), 0);
      EXPECT_EQ(facts.st_mtim.tv_sec, old_time[1].tv_sec);
      EXPECT_EQ(facts.st_mtim.tv_nsec, old_time[1].tv_nsec);
      ::sync();
      EXPECT_GE(small.free_bytes(), free_before) << "room kept after a failed run";
      fs::remove(place / "out.h");
      fs::remove(place / "other.h");
    }
  }
}

}  // namespace
}  // namespace quarlex::cli
