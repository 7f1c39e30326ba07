// A regular output is replaced, never overwritten: whatever ends a run early
// (a full disk, a size limit, a signal) leaves the old file whole and nothing
// beside it. Devices, pipes and open descriptors are written in place.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "child_process.h"
#include "cli_support.h"
#include "small_file_system.h"

namespace quarlex::cli {
namespace {

using namespace std::string_literals;

const char* const OLD_TEXT = "the old output, which must survive\n";
const std::string STAMP = "SOURCE_DATE_EPOCH=1700000000";

TEST(SafeOutput, SizeLimitInsideTheClosingLineLeavesTheOldOutput) {
  // Wine's loader itself writes files larger than such a limit.
  if (testing_windows_build()) GTEST_SKIP() << "a limit of a few KiB stops Wine itself";
  ScratchFolder dir;
  const struct {
    std::size_t size;
    const char* output;
  } cases[] = {{1000, "k.h"}, {1000, "k.inc"}, {465902, "k.h"}, {465902, "k.inc"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + " bytes into " + c.output);
    write_file(dir / "k.bin", std::string(c.size, '\0'));
    const std::string reference = std::string("ref_") + c.output;  // the same flavour
    ASSERT_EQ(run_quarlex(dir.path(), {"k.bin", reference, "blob"}).status, 0);
    const auto complete = fs::file_size(dir / reference);
    fs::remove(dir / reference);
    // Two bytes short: the cut falls in the last digits of the size.
    const std::string limit =
        "trap '' XFSZ; exec prlimit --fsize=" + std::to_string(complete - 2) + " --";
    for (bool old_output : {true, false}) {
      if (old_output) write_file(dir / c.output, OLD_TEXT);
      const ToolRun run = run_quarlex(dir.path(), {"k.bin", c.output, "blob"}, limit);
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(run.printed, "");
      EXPECT_EQ(run.errors,
                std::string("quarlex: cannot write '") + c.output + "': File too large\n");
      std::set<std::string> expected{"k.bin"};
      if (old_output) {
        EXPECT_TRUE(read_file(dir / c.output) == OLD_TEXT);
        expected.insert(c.output);
      }
      EXPECT_EQ(names_in(dir.path()), expected);
      fs::remove(dir / c.output);
    }
  }
}

TEST(SafeOutput, FullFileSystemInsideTheClosingLineLeavesTheOldOutput) {
  if (testing_windows_build()) GTEST_SKIP() << "the Windows C library words the reason its own way";
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root, as CI runs the tests";
  ScratchFolder dir;
  // Filled below so that exactly the last page of the include file finds
  // no room: the run fails inside the closing line.
  const support::SmallFileSystem small(dir / "small", "4m");
  ASSERT_TRUE(small.mounted()) << small.why_not();
  const fs::path place = dir / "small";
  const std::uintmax_t page = small.page_bytes();
  for (const char* output : {"out.h", "out.inc"}) {
    SCOPED_TRACE(output);
    // Find a source size whose include file ends a few bytes into a page,
    // so that the page that finds no room holds only the closing line's end.
    // A fixed date stamp makes the size known beforehand.
    const Flavour flavour = oracle::flavour(output);
    const std::string date = "Nov 14 2023 at 22:13";
    std::string bytes;
    std::uintmax_t complete = 0;
    for (std::size_t size = 20000; size < 20000 + 4 * page; ++size) {
      bytes = sample_bytes(size);
      complete =
          include_file(flavour, "data.bin", "blob", bytes).size() - "<date>"s.size() + date.size();
      if (complete % page > 0 && complete % page <= 8) break;
    }
    ASSERT_LE(complete % page, 8u);
    write_file(dir / "data.bin", bytes);
    const std::string reference = std::string("ref_") + output;  // the same flavour
    ASSERT_EQ(run_quarlex(dir.path(), {"data.bin", reference, "blob"}, STAMP).status, 0);
    ASSERT_EQ(fs::file_size(dir / reference), complete);
    fs::copy_file(dir / "data.bin", place / "data.bin", fs::copy_options::overwrite_existing);
    write_file(place / output, OLD_TEXT);
    // Leave room for every page of the file but its last.
    const std::uintmax_t room = complete / page * page;
    const std::uintmax_t free_now = small.free_bytes();
    ASSERT_GT(free_now, room);
    make_sparse_file(place / "filler", 0);
    {
      const int filler = ::open((place / "filler").c_str(), O_WRONLY);
      ASSERT_EQ(::posix_fallocate(filler, 0, static_cast<off_t>(free_now - room)), 0);
      ::close(filler);
    }
    ASSERT_EQ(small.free_bytes(), room);
    // TMPDIR off the small file system: a sanitizer's runtime keeps files
    // of its own there.
    const ToolRun run = run_quarlex(place, {"data.bin", output, "blob"},
                                    "TMPDIR=" + shell_quote(dir.path().string()) + " " + STAMP);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.printed, "");
    EXPECT_EQ(run.errors,
              std::string("quarlex: cannot write '") + output + "': No space left on device\n");
    EXPECT_TRUE(read_file(place / output) == OLD_TEXT);
    EXPECT_EQ(names_in(place), (std::set<std::string>{"data.bin", "filler", output}));
    fs::remove(place / "filler");
    fs::remove(place / output);
  }
}

TEST(SafeOutput, InterruptionLeavesTheOldOutputAndNoScratchFile) {
  if (testing_another_executable()) GTEST_SKIP() << "starts this build's executable itself";
  ScratchFolder dir;
  make_sparse_file(dir / "huge.bin", std::uintmax_t{2} << 30);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    SCOPED_TRACE(::strsignal(signal_number));
    write_file(dir / "out.h", OLD_TEXT);
    const pid_t child = start_quarlex(dir.path(), {"huge.bin", "out.h", "huge"});
    ASSERT_GT(child, 0);
    const bool started = !wait_for_scratch(child, dir.path(), 1 << 20).empty();
    ::kill(child, signal_number);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(started) << "no scratch file appeared";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << status;
    EXPECT_TRUE(read_file(dir / "out.h") == OLD_TEXT);
    // Not even SIGKILL, which cannot be caught, leaves the scratch file:
    // it has no name until the text is complete.
    EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"huge.bin", "out.h"}));
  }
}

TEST(SafeOutput, SignalIgnoredAtTheStartStaysIgnored) {
  if (testing_another_executable()) GTEST_SKIP() << "starts this build's executable itself";
  ScratchFolder dir;
  constexpr std::uintmax_t SIZE = std::uintmax_t{256} << 20;
  make_sparse_file(dir / "big.bin", SIZE);
  const pid_t child = start_quarlex(dir.path(), {"big.bin", "out.h", "big"}, -1, SIGHUP);
  ASSERT_GT(child, 0);
  const bool started = !wait_for_scratch(child, dir.path(), 0).empty();
  ::kill(child, SIGHUP);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(started) << "no scratch file appeared";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  // The text is over 500 MB: its end tells whether it is complete.
  const std::string closing = "#define _big  " + std::to_string(SIZE);
  EXPECT_EQ(support::read_file_end(dir / "out.h", closing.size()), closing);
  EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"big.bin", "out.h"}));
}

// Several runs into one output at once, of two different sources: each
// succeeds, and the output is one whole conversion, never a mix.
TEST(SafeOutput, ConcurrentRunsLeaveOneCompleteConversion) {
  ScratchFolder dir;
  const std::string first = sample_bytes(300000);
  const std::string second(200000, '\x7f');
  write_file(dir / "a.bin", first);
  write_file(dir / "b.bin", second);
  const std::string tool = tool_command();
  constexpr int RUNS = 6;
  std::string script = "cd " + shell_quote(dir.path().string()) + " && failed=0";
  for (int i = 0; i < RUNS; ++i)
    script += std::string(" && { ") + tool + (i % 2 == 0 ? " a.bin" : " b.bin") +
              " out.h blob > /dev/null & } && p" + std::to_string(i) + "=$!";
  for (int i = 0; i < RUNS; ++i) script += " ; wait $p" + std::to_string(i) + " || failed=1";
  script += " ; exit $failed";
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    write_file(dir / "out.h", OLD_TEXT);
    EXPECT_EQ(run_shell(script), 0);
    const std::string text = mask_date_line(read_file(dir / "out.h"));
    EXPECT_TRUE(text == include_file(Flavour::CSource, "a.bin", "blob", first) ||
                text == include_file(Flavour::CSource, "b.bin", "blob", second))
        << "a mix of " << text.size() << " bytes";
    EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"a.bin", "b.bin", "out.h"}));
  }
}

// The shell opened standard output for appending; writing through it keeps
// what the file held. The same file as the source is still refused.
TEST(SafeOutput, AppendingStandardOutputKeepsWhatWasThere) {
  if (testing_windows_build()) GTEST_SKIP() << "/dev/stdout is a Linux name";
  ScratchFolder dir;
  const std::string bytes = sample_bytes(70000);
  write_file(dir / "s.bin", bytes);
  write_file(dir / "log.txt", "kept\n");
  const std::string cd = "cd " + shell_quote(dir.path().string()) + " && ";
  ASSERT_EQ(run_shell(cd + tool_command() + " s.bin /dev/stdout blob >> log.txt"), 0);
  EXPECT_EQ(mask_date_line(read_file(dir / "log.txt")),
            "kept\n" + include_file(Flavour::Assembly, "s.bin", "blob", bytes));

  for (const char* name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
    SCOPED_TRACE(name);
    write_file(dir / "log.txt", "kept\n");
    EXPECT_EQ(run_shell(cd + tool_command() + " log.txt " + name + " >> log.txt 2> /dev/null"), 1);
    EXPECT_EQ(read_file(dir / "log.txt"), "kept\nSource and output are the same file\r\n");
  }
}

TEST(SafeOutput, SocketAsStandardOutputIsWrittenThrough) {
  if (testing_another_executable()) GTEST_SKIP() << "starts this build's executable itself";
  ScratchFolder dir;
  const std::string bytes = sample_bytes(300000);
  write_file(dir / "s.bin", bytes);
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
  const pid_t child = start_quarlex(dir.path(), {"s.bin", "/dev/stdout", "blob"}, ends[1]);
  ::close(ends[1]);
  const support::Drained out = support::drain_and_reap(ends[0], child);
  EXPECT_TRUE(WIFEXITED(out.status) && WEXITSTATUS(out.status) == 0) << out.status;
  EXPECT_EQ(mask_date_line(out.received), include_file(Flavour::Assembly, "s.bin", "blob", bytes));
}

// A symbolic link stays a link; the file it leads to is replaced in its own
// folder, or created there if it does not exist yet.
TEST(SafeOutput, SymbolicLinksKeepPointingAtTheReplacedFile) {
  if (testing_windows_build()) GTEST_SKIP() << "symbolic links are the Linux test's own";
  ScratchFolder dir;
  const std::string bytes = sample_bytes(100);
  write_file(dir / "s.bin", bytes);
  fs::create_directory(dir / "real");
  write_file(dir / "real" / "target.h", OLD_TEXT);
  fs::create_symlink("real/target.h", dir / "link.h");
  fs::create_symlink("link.h", dir / "chain.h");
  fs::create_symlink("real/new.h", dir / "dangling.h");
  const std::string expected = include_file(Flavour::CSource, "s.bin", "blob", bytes);
  for (const char* link : {"link.h", "chain.h", "dangling.h"}) {
    SCOPED_TRACE(link);
    ASSERT_EQ(run_quarlex(dir.path(), {"s.bin", link, "blob"}).status, 0);
    EXPECT_TRUE(fs::is_symlink(dir / link));
    EXPECT_EQ(mask_date_line(read_file(dir / link)), expected);
  }
  EXPECT_EQ(names_in(dir / "real"), (std::set<std::string>{"new.h", "target.h"}));
  EXPECT_EQ(names_in(dir.path()),
            (std::set<std::string>{"chain.h", "dangling.h", "link.h", "real", "s.bin"}));
}

// A hard link of the old output is another name of the old file: a rename
// would leave it with the old text, so the file is written in place and
// every name shows the new one.
TEST(SafeOutput, HardLinksOfTheOldOutputShowTheNewText) {
  ScratchFolder dir;
  write_file(dir / "s.bin", "abc");
  write_file(dir / "out.inc", OLD_TEXT);
  fs::create_hard_link(dir / "out.inc", dir / "other.inc");
  ASSERT_EQ(run_quarlex(dir.path(), {"s.bin", "out.inc"}).status, 0);
  const std::string expected = include_file(Flavour::Assembly, "s.bin", "s_bin", "abc");
  EXPECT_EQ(mask_date_line(read_file(dir / "out.inc")), expected);
  EXPECT_EQ(mask_date_line(read_file(dir / "other.inc")), expected);
  EXPECT_EQ(inode_of(dir / "out.inc"), inode_of(dir / "other.inc"));
}

TEST(SafeOutput, PermissionBitsOfAnOldOutputAreKept) {
  if (testing_windows_build()) GTEST_SKIP() << "Unix permission bits";
  ScratchFolder dir;
  write_file(dir / "s.bin", "abc");
  const struct {
    const char* umask;
    int old_mode;  // -1: no old output
    int expected_mode;
  } cases[] = {
      {"022", 0640, 0640},   {"077", 0604, 0604},   {"022", 0755, 0755},
      {"022", 04755, 04755}, {"022", 02750, 02750}, {"022", 01644, 01644},
      {"022", -1, 0644},     {"077", -1, 0600},     {"000", -1, 0666},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("umask ") + c.umask + ", old mode " + std::to_string(c.old_mode));
    fs::remove(dir / "out.h");
    if (c.old_mode != -1) {
      write_file(dir / "out.h", OLD_TEXT);
      ASSERT_EQ(::chmod((dir / "out.h").c_str(), static_cast<mode_t>(c.old_mode)), 0);
    }
    ASSERT_EQ(
        run_quarlex(dir.path(), {"s.bin", "out.h"}, std::string("umask ") + c.umask + ";").status,
        0);
    struct stat facts {};
    ASSERT_EQ(::stat((dir / "out.h").c_str(), &facts), 0);
    EXPECT_EQ(facts.st_mode & 07777, static_cast<mode_t>(c.expected_mode));
  }
}

// The tests below run the converter as the unprivileged user "nobody", since
// root may write any file.
class AsNobody : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testing_windows_build()) GTEST_SKIP() << "Unix users";
    if (::geteuid() != 0) GTEST_SKIP() << "switching to the user nobody needs root";
    if (run_shell("setpriv --reuid=nobody --regid=nogroup --clear-groups true") != 0)
      GTEST_SKIP() << "setpriv cannot switch to nobody here";
    // nobody must reach the folder and the source.
    fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_exec |
                                     fs::perms::group_read | fs::perms::others_exec |
                                     fs::perms::others_read);
    write_file(dir_ / "s.bin", "abc");
  }

  ToolRun run_as_nobody(const std::string& output) {
    // A folder nobody may write, for the scratch file of a run in place.
    const fs::path scratch = dir_ / "tmp";
    fs::create_directory(scratch);
    fs::permissions(scratch, fs::perms::all);
    return run_quarlex(dir_.path(), {"s.bin", output},
                       "TMPDIR=" + shell_quote(scratch.string()) +
                           " setpriv --reuid=nobody --regid=nogroup --clear-groups");
  }

  static void give_to_nobody(const fs::path& path, mode_t mode) {
    constexpr uid_t NOBODY = 65534;
    ASSERT_EQ(::chown(path.c_str(), NOBODY, NOBODY), 0);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
  }

  ScratchFolder dir_;
};

// The folder would let nobody put a new file in its place, but the file
// itself is read-only: refused before anything is written.
TEST_F(AsNobody, ReadOnlyOutputIsRefusedEvenInAWritableFolder) {
  fs::create_directory(dir_ / "open");
  give_to_nobody(dir_ / "open", 0755);
  write_file(dir_ / "open" / "out.h", OLD_TEXT);
  give_to_nobody(dir_ / "open" / "out.h", 0444);
  const ToolRun run = run_as_nobody("open/out.h");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.printed, "Could not open output file\r\n");
  EXPECT_EQ(read_file(dir_ / "open" / "out.h"), OLD_TEXT);
  EXPECT_EQ(names_in(dir_ / "open"), std::set<std::string>{"out.h"});
}

// No scratch file can be made in a folder nobody may not write; a file
// there that nobody may write is written in place, as before.
TEST_F(AsNobody, WritableFileInAReadOnlyFolderIsWrittenInPlace) {
  write_file(dir_ / "out.h", OLD_TEXT);
  give_to_nobody(dir_ / "out.h", 0644);
  const ToolRun run = run_as_nobody("out.h");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(mask_date_line(read_file(dir_ / "out.h")),
            include_file(Flavour::CSource, "s.bin", "s_bin", "abc"));
  EXPECT_EQ(names_in(dir_.path()), (std::set<std::string>{"out.h", "s.bin", "tmp"}));
  EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
  // And a new file cannot be made there at all.
  const ToolRun refused = run_as_nobody("new.h");
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.printed, "Could not open output file\r\n");
  EXPECT_FALSE(fs::exists(dir_ / "new.h"));
}

// Root replaces a file that nobody owns: owner, group and mode stay.
TEST_F(AsNobody, OwnerAndGroupAreKeptWhereTheUserMay) {
  write_file(dir_ / "out.inc", OLD_TEXT);
  give_to_nobody(dir_ / "out.inc", 0640);
  ASSERT_EQ(run_quarlex(dir_.path(), {"s.bin", "out.inc"}).status, 0);
  struct stat facts {};
  ASSERT_EQ(::stat((dir_ / "out.inc").c_str(), &facts), 0);
  EXPECT_EQ(facts.st_uid, 65534u);
  EXPECT_EQ(facts.st_gid, 65534u);
  EXPECT_EQ(facts.st_mode & 07777, 0640u);
  EXPECT_NE(read_file(dir_ / "out.inc"), OLD_TEXT);
}

// The scratch name must fit the name limit for the longest output names.
TEST(SafeOutput, LongestOutputNamesAreReplaced) {
  ScratchFolder dir;
  write_file(dir / "s.bin", "abc");
  for (std::size_t length : {250u, 255u}) {
    SCOPED_TRACE(length);
    const std::string name = std::string(length - 2, 'n') + ".h";
    write_file(dir / name, OLD_TEXT);
    ASSERT_EQ(run_quarlex(dir.path(), {"s.bin", name, "x"}).status, 0);
    EXPECT_EQ(mask_date_line(read_file(dir / name)),
              include_file(Flavour::CSource, "s.bin", "x", "abc"));
    EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"s.bin", name}));
    fs::remove(dir / name);
  }
}

}  // namespace
}  // namespace quarlex::cli
