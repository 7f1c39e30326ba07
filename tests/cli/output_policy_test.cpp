// How OUTPUT is replaced, rule by rule: by a rename only where that keeps
// everything writing in place keeps; in place never cut; a scratch file
// that cannot be made is a failure; descriptors by identity; links as the
// system follows them; one file under any name; swapped arguments; no
// memory. Most cases need root (mounts, other users, file flags) and are
// skipped with a message without it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <optional>

#include "child_process.h"
#include "cli_support.h"
#include "small_file_system.h"

namespace quarlex::cli {
namespace {

// Longer than the include file of SOURCE_BYTES, so that a copy over it
// that is not cut to length leaves a tail behind.
const std::string OLD_TEXT = "the old output, which must survive whole\n" + std::string(500, 'o');
const std::string SOURCE_BYTES = "abc";
const std::string AS_NOBODY = "setpriv --reuid=nobody --regid=nogroup --clear-groups";
const std::string AS_DAEMON = "setpriv --reuid=daemon --regid=daemon --clear-groups";
constexpr uid_t NOBODY = 65534;
// The kernel's protections of files and FIFOs in sticky folders.
constexpr const char* PROTECTED_REGULAR = "/proc/sys/fs/protected_regular";
constexpr const char* PROTECTED_FIFOS = "/proc/sys/fs/protected_fifos";

// Why a case cannot run here, or "" if it can.
std::string missing_for(bool needs_root, const std::vector<std::string>& programs = {}) {
  if (testing_windows_build()) return "a Linux case";
  if (needs_root && ::geteuid() != 0) return "needs root, as CI runs the tests";
  for (const std::string& program : programs)
    if (run_shell("command -v " + program + " > /dev/null") != 0) return "needs " + program;
  return {};
}

// Whether one case of a table cannot run here; says why if so, and the
// other cases go on.
bool case_skipped(const char* what, const std::string& why) {
  if (why.empty()) return false;
  std::cout << "skipped case: " << what << ": " << why << "\n";
  return true;
}

#define SKIP_UNLESS(reason) \
  if (const std::string why = (reason); !why.empty()) GTEST_SKIP() << why

std::string expected_text(const std::string& output) {
  return include_file(oracle::flavour(output), "s.bin", "s_bin", SOURCE_BYTES);
}

// A folder nobody may write into, for the scratch file of a run in place.
fs::path open_scratch_folder(const ScratchFolder& dir) {
  const fs::path folder = dir / "tmp";
  fs::create_directory(folder);
  fs::permissions(folder, fs::perms::all);
  return folder;
}

// A file system mounted for one test and gone with it.
class Mount {
 public:
  Mount(const std::string& command, fs::path point) : point_(std::move(point)) {
    mounted_ = run_shell(command) == 0;
  }
  ~Mount() {
    if (mounted_) ::umount2(point_.c_str(), MNT_DETACH);
  }
  Mount(const Mount&) = delete;
  Mount& operator=(const Mount&) = delete;
  bool mounted() const { return mounted_; }

 private:
  fs::path point_;
  bool mounted_ = false;
};

// A system setting changed for one test and put back afterwards.
class SystemSetting {
 public:
  SystemSetting(fs::path path, const std::string& value) : path_(std::move(path)) {
    before_ = read_file(path_);
    write_file(path_, value);
  }
  ~SystemSetting() { write_file(path_, before_); }
  SystemSetting(const SystemSetting&) = delete;
  SystemSetting& operator=(const SystemSetting&) = delete;

 private:
  fs::path path_;
  std::string before_;
};

struct InPlaceCase {
  const char* what;
  bool needs_root;
  std::string output;  // relative to the test's folder
  std::string runner;  // put before the command
  std::function<void(const ScratchFolder&)> prepare;
  std::function<void(const ScratchFolder&)> check;
};

void give(const fs::path& path, uid_t user, mode_t mode) {
  ASSERT_EQ(::chown(path.c_str(), user, user == 0 ? 0 : NOBODY), 0);
  ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}

// Moves out.h into a new folder `folder`, both given to the owners and
// modes named.
void move_into(const ScratchFolder& dir, const char* folder, uid_t folder_owner, mode_t folder_mode,
               uid_t file_owner, mode_t file_mode) {
  fs::create_directory(dir / folder);
  give(dir / folder, folder_owner, folder_mode);
  fs::rename(dir / "out.h", dir / folder / "out.h");
  give(dir / folder / "out.h", file_owner, file_mode);
}

// Where the system protects files in sticky folders, an existing file of
// another user there is refused as a shell's > is refused, also for root:
// writing it would hand what the run writes to whoever planted it.
TEST(Sticky, ProtectedFilesAreRefusedAsAShellRefusesThem) {
  SKIP_UNLESS(missing_for(true));
  for (const char* setting : {PROTECTED_REGULAR, PROTECTED_FIFOS})
    if (!fs::exists(setting)) GTEST_SKIP() << "no " << setting << " here";
  const struct {
    const char* what;
    bool fifo;
    const char* value;  // of protected_regular or protected_fifos
    mode_t folder_mode;
    bool refused;
  } cases[] = {
      {"a file, 1, world-writable folder", false, "1", 01777, true},
      {"a file, 2, world-writable folder", false, "2", 01777, true},
      {"a file, 2, group-writable folder", false, "2", 01770, true},
      {"a file, 1, group-writable folder", false, "1", 01770, false},
      {"a file, 0, world-writable folder", false, "0", 01777, false},
      {"a FIFO, 1, world-writable folder", true, "1", 01777, true},
      {"a FIFO, 2, group-writable folder", true, "2", 01770, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const SystemSetting setting(c.fifo ? PROTECTED_FIFOS : PROTECTED_REGULAR, c.value);
    ScratchFolder dir;
    write_file(dir / "s.bin", SOURCE_BYTES);
    fs::create_directory(dir / "pub");
    give(dir / "pub", 0, c.folder_mode);
    const fs::path planted = dir / "pub" / "out.h";
    if (c.fifo) {
      ASSERT_EQ(::mkfifo(planted.c_str(), 0666), 0);
    } else {
      write_file(planted, "");
    }
    give(planted, NOBODY, 0666);
    // What the system itself says to a shell's >> (no truncation).
    const bool shell_refused =
        run_shell("sh -c ': >> " + shell_quote(planted.string()) + "' 2> /dev/null") != 0;
    EXPECT_EQ(shell_refused, c.refused);
    if (!c.refused && c.fifo) continue;  // it would wait for a reader
    // A FIFO that is opened waits for a reader: cut short.
    const ToolRun run = run_quarlex(dir.path(), {"s.bin", "pub/out.h"}, "timeout 20");
    if (c.refused) {
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(run.printed, "Could not open output file\r\n");
      EXPECT_EQ(run.errors, "quarlex: cannot open output file 'pub/out.h': Permission denied\n");
      if (!c.fifo) {
        EXPECT_EQ(read_file(planted), "");
      }
    } else {
      EXPECT_EQ(run.status, 0) << run.errors;
    }
    EXPECT_EQ(names_in(dir / "pub"), std::set<std::string>{"out.h"});
  }
}

// Each case is one where a new file renamed over OUTPUT would lose what
// OUTPUT had. The file must then be written over: the same inode, every
// byte of the new text and nothing of the old, and nothing left anywhere.
TEST(InPlace, WhereARenameWouldLoseSomethingTheFileIsWrittenOver) {
  SKIP_UNLESS(missing_for(false));
  // Another user's file in a sticky folder is written over only where the
  // kernel does not protect it (Sticky tests the protection): unprotected
  // here, whatever this machine's setting.
  std::optional<SystemSetting> unprotected;
  if (::geteuid() == 0 && fs::exists(PROTECTED_REGULAR))
    unprotected.emplace(PROTECTED_REGULAR, "0");
  std::vector<std::unique_ptr<Mount>> mounts;
  const InPlaceCase cases[] = {
      {"a second name (hard link)", false, "out.h", "",
       [](const ScratchFolder& dir) { fs::create_hard_link(dir / "out.h", dir / "other.h"); },
       [](const ScratchFolder& dir) {
         EXPECT_EQ(mask_date_line(read_file(dir / "other.h")), expected_text("out.h"));
       }},
      {"a file bound onto its name (a mount point)", true, "out.h", "",
       [&](const ScratchFolder& dir) {
         mounts.push_back(std::make_unique<Mount>("mount --bind " +
                                                      shell_quote((dir / "out.h").string()) + " " +
                                                      shell_quote((dir / "out.h").string()),
                                                  dir / "out.h"));
         ASSERT_TRUE(mounts.back()->mounted());
       },
       nullptr},
      {"another user's file in a sticky folder", true, "pub/out.h", AS_DAEMON,
       [](const ScratchFolder& dir) { move_into(dir, "pub", 0, 01777, NOBODY, 0666); }, nullptr},
      {"a folder the user may not write", true, "ro/out.h", AS_NOBODY,
       [](const ScratchFolder& dir) { move_into(dir, "ro", 0, 0755, NOBODY, 0644); }, nullptr},
      {"an append-only folder", true, "ao/out.h", "",
       [](const ScratchFolder& dir) {
         fs::create_directory(dir / "ao");
         fs::rename(dir / "out.h", dir / "ao" / "out.h");
         ASSERT_EQ(run_shell("chattr +a " + shell_quote((dir / "ao").string())), 0);
       },
       [](const ScratchFolder& dir) {
         EXPECT_EQ(run_shell("chattr -a " + shell_quote((dir / "ao").string())), 0);
       }},
      {"a file whose owner the user cannot give", true, "own/out.h", AS_NOBODY,
       [](const ScratchFolder& dir) { move_into(dir, "own", NOBODY, 0755, 0, 0666); },
       [](const ScratchFolder& dir) {
         struct stat facts {};
         ASSERT_EQ(::stat((dir / "own" / "out.h").c_str(), &facts), 0);
         EXPECT_EQ(facts.st_uid, 0u);
       }},
      {"a file of a user the user namespace does not map", true, "ns/out.h", "unshare -U -r",
       [](const ScratchFolder& dir) { move_into(dir, "ns", 0, 0755, NOBODY, 0666); },
       [](const ScratchFolder& dir) {
         struct stat facts {};
         ASSERT_EQ(::stat((dir / "ns" / "out.h").c_str(), &facts), 0);
         EXPECT_EQ(facts.st_uid, NOBODY);
       }},
      {"a file flag (chattr +d)", true, "out.h", "",
       [](const ScratchFolder& dir) {
         ASSERT_EQ(run_shell("chattr +d " + shell_quote((dir / "out.h").string())), 0);
       },
       nullptr},
      {"an extended attribute the user may not set", true, "sec/out.h", AS_NOBODY,
       [](const ScratchFolder& dir) {
         move_into(dir, "sec", NOBODY, 0755, NOBODY, 0644);
         ASSERT_EQ(run_shell("setfattr -n security.quarlex -v kept " +
                             shell_quote((dir / "sec" / "out.h").string())),
                   0);
       },
       [](const ScratchFolder& dir) {
         EXPECT_EQ(run_shell("getfattr -n security.quarlex " +
                             shell_quote((dir / "sec" / "out.h").string()) + " > /dev/null 2>&1"),
                   0);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (case_skipped(c.what, missing_for(c.needs_root, {"chattr", "setfattr"}))) continue;
    ScratchFolder dir;
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    write_file(dir / "s.bin", SOURCE_BYTES);
    write_file(dir / "out.h", OLD_TEXT);
    const fs::path scratch = open_scratch_folder(dir);
    c.prepare(dir);
    const fs::path output = dir / c.output;
    const std::uint64_t inode = inode_of(output);
    const auto folder_before = names_in(output.parent_path());
    const std::string runner = "TMPDIR=" + shell_quote(scratch.string()) + " " + c.runner;
    const ToolRun run = run_quarlex(dir.path(), {"s.bin", c.output}, runner);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.printed + run.errors, "");
    EXPECT_EQ(mask_date_line(read_file(output)), expected_text("out.h"));
    EXPECT_EQ(inode_of(output), inode) << "replaced, not written over";
    EXPECT_EQ(names_in(output.parent_path()), folder_before);
    EXPECT_TRUE(fs::is_empty(scratch));
    if (c.check) c.check(dir);
    mounts.clear();
  }
}

// What XFS and ext4 keep beside the flags (a project, an extent size),
// which a new file would not get: written in place, it stays.
TEST(InPlace, AProjectAndAnExtentSizeStayWithTheFile) {
  SKIP_UNLESS(missing_for(true, {"chattr", "lsattr", "mkfs.xfs", "xfs_io"}));
  ScratchFolder dir;
  write_file(dir / "s.bin", SOURCE_BYTES);
  const support::SmallFileSystem small(dir / "xfs", "300M", support::SmallKind::Xfs);
  if (small.why_not() == "no loop devices here") GTEST_SKIP() << small.why_not();
  ASSERT_TRUE(small.mounted()) << small.why_not();
  const struct {
    const char* what;
    std::string set;    // the command that gives it, the file's path after it
    std::string shows;  // the command whose output shows it
  } cases[] = {
      {"a project", "chattr -p 42", "lsattr -p"},
      {"an extent size", "xfs_io -c 'extsize 64k'", "xfs_io -c extsize"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path output = dir / "xfs" / "out.h";
    write_file(output, "");  // an extent size is set on an empty file only
    const std::string quoted = shell_quote(output.string());
    ASSERT_EQ(run_shell(c.set + " " + quoted), 0);
    const std::string listing =
        c.shows + " " + quoted + " > " + shell_quote((dir / "shown").string());
    ASSERT_EQ(run_shell(listing), 0);
    const std::string before = read_file(dir / "shown");
    const std::uint64_t inode = inode_of(output);
    const ToolRun run = run_quarlex(dir.path(), {"s.bin", "xfs/out.h"});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(mask_date_line(read_file(output)), expected_text("out.h"));
    EXPECT_EQ(inode_of(output), inode) << "replaced, not written over";
    ASSERT_EQ(run_shell(listing), 0);
    EXPECT_EQ(read_file(dir / "shown"), before);
    fs::remove(output);
  }
}

// Where a rename keeps everything, it is used, and the new file gets the
// old one's owner, group, mode, access list and extended attributes: the
// user the list lets in stays in, and the group gains nothing.
TEST(InPlace, ARenameGivesTheNewFileEverythingTheOldOneHad) {
  SKIP_UNLESS(missing_for(true, {"setfacl", "getfacl", "setfattr", "getfattr"}));
  ScratchFolder dir;
  fs::permissions(dir.path(), fs::perms::others_exec, fs::perm_options::add);
  write_file(dir / "s.bin", SOURCE_BYTES);
  const fs::path output = dir / "out.h";
  write_file(output, OLD_TEXT);
  give(output, NOBODY, 0640);
  const std::string quoted = shell_quote(output.string());
  ASSERT_EQ(run_shell("setfacl -m u:daemon:rw " + quoted + " && setfattr -n user.origin -v logo " +
                      quoted),
            0);
  const std::string listing =
      "getfacl -cp " + quoted + " && getfattr -d " + quoted + " && stat -c '%u %g %a' " + quoted;
  const fs::path before = dir / "before.txt";
  const fs::path after = dir / "after.txt";
  ASSERT_EQ(run_shell(listing + " > " + shell_quote(before.string()) + " 2>&1"), 0);
  const std::uint64_t inode = inode_of(output);
  ASSERT_EQ(run_quarlex(dir.path(), {"s.bin", "out.h"}).status, 0);
  ASSERT_EQ(run_shell(listing + " > " + shell_quote(after.string()) + " 2>&1"), 0);
  EXPECT_NE(inode_of(output), inode) << "written over, not replaced";
  EXPECT_EQ(read_file(after), read_file(before));
  EXPECT_EQ(mask_date_line(read_file(output)), expected_text("out.h"));
  EXPECT_EQ(run_shell(AS_DAEMON + " test -w " + quoted), 0);
}

// A new file takes its folder's default access list; where the old file
// had no list, the rename must not let in whom the old file kept out.
// And every step of giving the new file the old one's owner, mode, list
// and attributes that fails, fails the run, with the old file whole:
// strace makes each call fail in turn.
TEST(Rename, TheNewFileGetsTheOldOnesRightsOrTheRunFails) {
  SKIP_UNLESS(missing_for(true, {"setfacl", "getfacl", "setfattr", "strace"}));
  if (testing_another_executable()) GTEST_SKIP() << "traces this build's executable itself";
  const struct {
    const char* injected;  // "" for none
    bool attribute;        // the old file has an extended attribute
  } cases[] = {
      {"", false},
      {"", true},
      {"fchown", false},
      {"fchmod", false},
      {"fremovexattr", false},
      {"fgetxattr", true},
      {"fsetxattr", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.injected) + (c.attribute ? " with an attribute" : ""));
    ScratchFolder dir;
    write_file(dir / "s.bin", SOURCE_BYTES);
    const fs::path folder = dir / "shared";
    fs::create_directory(folder);
    const std::string quoted = shell_quote((folder / "out.h").string());
    // New files in the folder let daemon in; the old file does not.
    ASSERT_EQ(run_shell("setfacl -d -m u:daemon:rw " + shell_quote(folder.string())), 0);
    write_file(folder / "out.h", OLD_TEXT);
    ASSERT_EQ(run_shell("setfacl -b " + quoted), 0);
    if (c.attribute) {
      ASSERT_EQ(run_shell("setfattr -n user.origin -v logo " + quoted), 0);
    }
    const std::string listing =
        "getfacl -cp " + quoted + " && getfattr -d " + quoted + " && stat -c '%u %g %a' " + quoted;
    const fs::path shown = dir / "shown.txt";
    ASSERT_EQ(run_shell("{ " + listing + "; } > " + shell_quote(shown.string()) + " 2>&1"), 0);
    const std::string before = read_file(shown);
    const std::string tracer = *c.injected == '\0'
                                   ? ""
                                   : UNDER_STRACE + " -e trace=" + c.injected +
                                         " -e inject=" + c.injected + ":error=EPERM";
    const ToolRun run = run_quarlex(dir.path(), {"s.bin", "shared/out.h"}, tracer);
    ASSERT_EQ(run_shell("{ " + listing + "; } > " + shell_quote(shown.string()) + " 2>&1"), 0);
    EXPECT_EQ(read_file(shown), before);
    EXPECT_EQ(names_in(folder), std::set<std::string>{"out.h"});
    if (*c.injected == '\0') {
      EXPECT_EQ(run.status, 0) << run.errors;
      EXPECT_EQ(mask_date_line(read_file(folder / "out.h")), expected_text("out.h"));
    } else {
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(run.errors, "quarlex: cannot replace 'shared/out.h': Operation not permitted\n");
      EXPECT_EQ(read_file(folder / "out.h"), OLD_TEXT);
    }
  }
}

// In place, the text is completed elsewhere first: every failure before
// the copy leaves the old file byte for byte, under each of its names.
TEST(InPlace, AFailureBeforeTheCopyLeavesTheOldFileWhole) {
  SKIP_UNLESS(missing_for(false));
  const struct {
    const char* what;
    bool needs_root;
    bool on_small;  // the output on a small file system, its scratch file outside
    support::SmallKind small_kind;
    std::string source;  // from the output's folder
    std::string prefix;  // set up around the run
    std::string reason;  // the end of the line on standard error
  } cases[] = {
      {"a read error", false, false, support::SmallKind::Tmpfs, "/proc/self/mem", "",
       "Input/output error\n"},
      {"a file size limit", false, false, support::SmallKind::Tmpfs, "big.bin",
       "trap '' XFSZ; ulimit -f 100;", "File too large\n"},
      {"a full scratch folder", true, false, support::SmallKind::Tmpfs, "big.bin", "TMPDIR=small",
       "No space left on device\n"},
      {"no room for the copy", true, true, support::SmallKind::Tmpfs, "../big.bin", "TMPDIR=..",
       "No space left on device\n"},
      // ext4 keeps what a reservation that failed part way took.
      {"no room for the copy on ext4", true, true, support::SmallKind::Ext4, "../big.bin",
       "TMPDIR=..", "No space left on device\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (case_skipped(c.what, missing_for(c.needs_root))) continue;
    ScratchFolder dir;
    write_file(dir / "big.bin", sample_bytes(1 << 20));  // four times as much text
    fs::create_directory(dir / "small");
    std::unique_ptr<support::SmallFileSystem> small;
    if (c.needs_root) {
      small = std::make_unique<support::SmallFileSystem>(dir / "small", "2M", c.small_kind);
      if (small->why_not() == "no loop devices here") {
        case_skipped(c.what, small->why_not());
        continue;
      }
      ASSERT_TRUE(small->mounted()) << small->why_not();
    }
    const fs::path place = c.on_small ? dir / "small" : dir.path();
    write_file(place / "out.h", OLD_TEXT);
    fs::create_hard_link(place / "out.h", place / "other.h");
    const auto names = names_in(place);
    const auto free_before = small != nullptr ? small->free_bytes() : 0;
    const ToolRun run = run_quarlex(place, {c.source, "out.h"}, c.prefix);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.printed, "");
    EXPECT_TRUE(run.errors.starts_with("quarlex: cannot ") && run.errors.ends_with(c.reason))
        << run.errors;
    EXPECT_EQ(read_file(place / "out.h"), OLD_TEXT);
    EXPECT_EQ(read_file(place / "other.h"), OLD_TEXT);
    EXPECT_EQ(names_in(place), names);
    if (!c.on_small) {
      EXPECT_TRUE(fs::is_empty(dir / "small"));
    } else {
      EXPECT_EQ(small->free_bytes(), free_before) << "room kept by the old file";
    }
  }
}

TEST(InPlace, ASignalBeforeTheCopyLeavesTheOldFileWhole) {
  if (const std::string why = signals_held_back(); !why.empty()) GTEST_SKIP() << why;
  SKIP_UNLESS(missing_for(false));
  if (testing_another_executable()) GTEST_SKIP() << "starts this build's executable itself";
  ScratchFolder dir;
  write_file(dir / "out.h", OLD_TEXT);
  fs::create_hard_link(dir / "out.h", dir / "other.h");
  ASSERT_EQ(::mkfifo((dir / "source").c_str(), 0600), 0);
  const pid_t child = start_quarlex(dir.path(), {"source", "out.h"});
  ASSERT_GT(child, 0);
  // The run is part way for certain once it has taken a mebibyte from the
  // pipe and waits for more.
  const int feed = ::open((dir / "source").c_str(), O_WRONLY);
  ASSERT_GE(feed, 0);
  const std::string bytes = sample_bytes(1 << 20);
  ASSERT_EQ(::write(feed, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  EXPECT_TRUE(support::wait_until([&] {
    int unread = 1;
    return ::ioctl(feed, FIONREAD, &unread) == 0 && unread == 0;
  })) << "the converter never took what it was sent";
  ::kill(child, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::close(feed);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_EQ(read_file(dir / "out.h"), OLD_TEXT);
  EXPECT_EQ(read_file(dir / "other.h"), OLD_TEXT);
  EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"other.h", "out.h", "source"}));
}

// Signals whose default is not to end a process (a terminal resized,
// a child's end, urgent data, a continue) end no run and clean nothing
// up: not while the text is written, nor during the copy over OUTPUT,
// where emptying it would leave zeros or a cut file.
TEST(InPlace, SignalsThatEndNothingChangeNothing) {
  if (const std::string why = signals_held_back(); !why.empty()) GTEST_SKIP() << why;
  SKIP_UNLESS(missing_for(false, {"strace"}));
  if (testing_another_executable()) GTEST_SKIP() << "traces this build's executable itself";
  const std::string bytes = sample_bytes(1 << 20);
  const std::string expected = include_file(Flavour::CSource, "s.bin", "s_bin", bytes);
  for (const char* signal_name : {"SIGWINCH", "SIGCHLD", "SIGURG", "SIGCONT"}) {
    SCOPED_TRACE(signal_name);
    ScratchFolder dir;
    write_file(dir / "s.bin", bytes);
    write_file(dir / "out.h", OLD_TEXT);
    fs::create_hard_link(dir / "out.h", dir / "other.h");
    // While the text is written; as the copy over OUTPUT starts, and once
    // it is cut to length (-P: at OUTPUT's calls only). Once per run: a
    // signal that is ignored makes a call that waits start again, where
    // strace would put it in again.
    const std::string signal = std::string(":signal=") + signal_name + ":when=1";
    const std::string at_output = UNDER_STRACE + " -P " + shell_quote((dir / "out.h").string());
    const std::string tracers[] = {
        UNDER_STRACE + " -e trace=write -e inject=write" + signal,
        at_output + " -e trace=sendfile -e inject=sendfile" + signal,
        at_output + " -e trace=ftruncate -e inject=ftruncate" + signal,
    };
    for (const std::string& tracer : tracers) {
      write_file(dir / "out.h", OLD_TEXT);
      const ToolRun run = run_quarlex(dir.path(), {"s.bin", "out.h"}, tracer);
      EXPECT_EQ(run.status, 0) << run.errors;
      EXPECT_EQ(mask_date_line(read_file(dir / "other.h")), expected);
      EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"other.h", "out.h", "s.bin"}));
    }
  }
}

// FAT through FUSE reserves no room ahead: its free room is made sure of
// before the copy, and a full disk leaves the old text whole. Bound onto
// its own name, the file is a mount point, which is written in place.
TEST(InPlace, AFullFatDiskLeavesTheOldTextWhole) {
  SKIP_UNLESS(missing_for(true));
  ScratchFolder dir;
  const fs::path fat = dir / "fat";
  const support::SmallFileSystem image(fat, "1M", support::SmallKind::Fat);
  SKIP_UNLESS(image.why_not());
  write_file(fat / "out.h", OLD_TEXT);
  write_file(dir / "big.bin", sample_bytes(300000));  // its include file takes over 1 MiB
  {
    const Mount bound("mount --bind " + shell_quote((fat / "out.h").string()) + " " +
                          shell_quote((fat / "out.h").string()),
                      fat / "out.h");
    ASSERT_TRUE(bound.mounted());
    const ToolRun run = run_quarlex(dir.path(), {"big.bin", "fat/out.h"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors, "quarlex: cannot write 'fat/out.h': No space left on device\n");
    EXPECT_EQ(read_file(fat / "out.h"), OLD_TEXT);
  }
}

// What still ends the copy part way (a disk another program fills
// meanwhile, a signal) leaves the file empty, never cut: the failure and
// the signal are put into the copy's first call by strace.
TEST(InPlace, AFailureOrSignalDuringTheCopyLeavesTheFileEmpty) {
  if (const std::string why = signals_held_back(); !why.empty()) GTEST_SKIP() << why;
  SKIP_UNLESS(missing_for(false, {"strace"}));
  if (testing_another_executable()) GTEST_SKIP() << "traces this build's executable itself";
  const struct {
    const char* injected;
    int status;          // as a shell reports it
    std::string errors;  // the tool's own (strace names the signal)
  } cases[] = {
      {"error=ENOSPC", 1, "quarlex: cannot write 'out.h': No space left on device\n"},
      {"signal=SIGTERM", 128 + SIGTERM, ""},
      {"signal=SIGHUP", 128 + SIGHUP, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.injected);
    ScratchFolder dir;
    write_file(dir / "s.bin", SOURCE_BYTES);
    // Longer than the new text: a copy left as it stopped would keep its end.
    write_file(dir / "out.h", OLD_TEXT);
    fs::create_hard_link(dir / "out.h", dir / "other.h");
    const ToolRun run =
        run_quarlex(dir.path(), {"s.bin", "out.h"},
                    UNDER_STRACE + " -e trace=sendfile -e inject=sendfile:" + c.injected);
    EXPECT_EQ(run.status, c.status);
    if (c.errors.empty()) {
      EXPECT_EQ(run.errors.find("quarlex"), std::string::npos) << run.errors;
    } else {
      EXPECT_EQ(run.errors, c.errors);
    }
    EXPECT_EQ(read_file(dir / "other.h"), "");
    EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"other.h", "out.h", "s.bin"}));
  }
}

TEST(Scratch, AScratchFileThatCannotBeMadeFailsTheRun) {
  SKIP_UNLESS(missing_for(false, {"prlimit"}));
  const struct {
    const char* what;
    bool needs_root;
    std::string prefix;
    std::string reason;  // the end of the line on standard error
  } cases[] = {
      {"no inode left", true, "",
       "cannot create a scratch file for 'small/out.h': No space left on device\n"},
      {"five descriptors", false, "prlimit --nofile=5", "Too many open files\n"},
      {"six descriptors", false, "prlimit --nofile=6", "Too many open files\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (case_skipped(c.what, missing_for(c.needs_root))) continue;
    ScratchFolder dir;
    fs::create_directory(dir / "small");
    std::unique_ptr<Mount> small;
    // Run from outside the small file system, whose inodes are counted.
    const std::string folder = c.needs_root ? "small/" : "";
    if (c.needs_root) {
      small = std::make_unique<Mount>(
          "mount -t tmpfs -o size=64k,nr_inodes=4 tmpfs " + shell_quote((dir / "small").string()),
          dir / "small");
      ASSERT_TRUE(small->mounted());
    }
    const fs::path place = dir / folder;
    write_file(place / "s.bin", SOURCE_BYTES);
    write_file(place / "out.h", OLD_TEXT);
    if (c.needs_root) write_file(place / "last", "");  // the last free inode
    const auto names = names_in(place);
    const ToolRun run = run_quarlex(dir.path(), {folder + "s.bin", folder + "out.h"}, c.prefix);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.printed, "Could not open output file\r\n");
    EXPECT_TRUE(run.errors.starts_with("quarlex: cannot ") && run.errors.ends_with(c.reason))
        << run.errors;
    EXPECT_EQ(read_file(place / "out.h"), OLD_TEXT);
    EXPECT_EQ(names_in(place), names);
  }
}

// A fault of the folder that holds the scratch file of a run in place
// (TMPDIR) is named as that folder's, not OUTPUT's; and no scratch file
// ever has a name there, so that a folder that lets no name go keeps
// none.
TEST(Scratch, TheScratchFolderIsNamedWhereTheFaultIsThere) {
  SKIP_UNLESS(missing_for(false, {"chattr"}));
  const struct {
    const char* what;
    bool needs_root;
    std::string prefix;
    int status;
    std::string printed;
    std::string errors;
  } cases[] = {
      {"a missing folder", false, "TMPDIR=gone", 1, "Could not open output file\r\n",
       "quarlex: cannot create a scratch file in 'gone' for 'out.h': No such file or directory\n"},
      {"a full folder", true, "TMPDIR=small", 1, "",
       "quarlex: cannot write a scratch file in 'small' for 'out.h': No space left on device\n"},
      {"an append-only folder", true, "TMPDIR=small", 0, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (case_skipped(c.what, missing_for(c.needs_root))) continue;
    ScratchFolder dir;
    write_file(dir / "s.bin", sample_bytes(1 << 20));
    write_file(dir / "out.h", OLD_TEXT);
    fs::create_hard_link(dir / "out.h", dir / "other.h");
    fs::create_directory(dir / "small");
    std::unique_ptr<support::SmallFileSystem> small;
    if (c.needs_root) {
      small = std::make_unique<support::SmallFileSystem>(dir / "small", "1M");
      ASSERT_TRUE(small->mounted()) << small->why_not();
    }
    const bool append_only = c.status == 0;
    if (append_only) {
      small.reset();  // room for the whole text
      ASSERT_EQ(run_shell("chattr +a " + shell_quote((dir / "small").string())), 0);
    }
    const ToolRun run = run_quarlex(dir.path(), {"s.bin", "out.h"}, c.prefix);
    if (append_only) run_shell("chattr -a " + shell_quote((dir / "small").string()));
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.printed, c.printed);
    EXPECT_EQ(run.errors, c.errors);
    if (c.status != 0) {
      EXPECT_EQ(read_file(dir / "other.h"), OLD_TEXT);
    }
    // ThreadSanitizer's runtime keeps a file of its own in TMPDIR
    // ("tsan.rodata.<pid>"), which an append-only folder cannot let go.
    std::set<std::string> left = names_in(dir / "small");
    std::erase_if(left, [](const std::string& name) { return name.starts_with("tsan."); });
    EXPECT_TRUE(left.empty()) << *left.begin();
  }
}

// In a folder that lets no name go (append-only), a new OUTPUT gets its
// name only once its text is complete: a full disk leaves no name behind.
TEST(Scratch, ANewOutputInAnAppendOnlyFolderIsNamedOnlyOnceComplete) {
  SKIP_UNLESS(missing_for(true, {"chattr"}));
  ScratchFolder dir;
  const std::string bytes = sample_bytes(1 << 20);
  write_file(dir / "s.bin", bytes);
  const support::SmallFileSystem small(dir / "small", "16M", support::SmallKind::Ext4);
  if (small.why_not() == "no loop devices here") GTEST_SKIP() << small.why_not();
  ASSERT_TRUE(small.mounted()) << small.why_not();
  const fs::path folder = dir / "small" / "ao";
  fs::create_directory(folder);
  ASSERT_EQ(run_shell("chattr +a " + shell_quote(folder.string())), 0);
  const int filler = ::open((dir / "small" / "filler").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(filler, 0);
  constexpr std::uintmax_t LEFT = 1 << 20;  // a fifth of the text
  ASSERT_EQ(::posix_fallocate(filler, 0, static_cast<off_t>(small.free_bytes() - LEFT)), 0);
  ::close(filler);
  const ToolRun full = run_quarlex(dir.path(), {"s.bin", "small/ao/new.h"});
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.errors, "quarlex: cannot write 'small/ao/new.h': No space left on device\n");
  EXPECT_TRUE(fs::is_empty(folder));
  fs::remove(dir / "small" / "filler");
  const ToolRun roomy = run_quarlex(dir.path(), {"s.bin", "small/ao/new.h"});
  EXPECT_EQ(roomy.status, 0) << roomy.errors;
  EXPECT_EQ(mask_date_line(read_file(folder / "new.h")),
            include_file(Flavour::CSource, "s.bin", "s_bin", bytes));
  EXPECT_EQ(names_in(folder), std::set<std::string>{"new.h"});
  run_shell("chattr -a " + shell_quote(folder.string()));
}

// Under an address-space limit every run either completes or fails with
// status 1 and its reason; none aborts, and none leaves a scratch file or
// a touched output. The smallest limits stop the program before it starts.
TEST(Memory, RunningOutOfMemoryFailsCleanly) {
  SKIP_UNLESS(missing_for(false, {"prlimit"}));
  if (testing_another_executable()) GTEST_SKIP() << "limits fit this build's executable";
#if QUARLEX_SANITIZED
  GTEST_SKIP() << "a sanitizer reserves far more address space than any limit here";
#endif
  ScratchFolder dir;
  write_file(dir / "big.bin", sample_bytes(300000));
  bool failed_cleanly = false;
  for (int kib = 1024; kib <= 16384; kib += 256) {
    SCOPED_TRACE(std::to_string(kib) + " KiB");
    write_file(dir / "out.h", OLD_TEXT);
    const ToolRun run = run_quarlex(dir.path(), {"big.bin", "out.h"},
                                    "prlimit --as=" + std::to_string(kib * 1024) + " --");
    // Where the program cannot even be loaded, the system refuses to start
    // it (127) or it faults before main (139); 134 would be an abort.
    EXPECT_TRUE(run.status == 0 || run.status == 1 || run.status == 127 || run.status == 139)
        << run.status;
    if (run.status == 1) {
      failed_cleanly = true;
      EXPECT_EQ(run.errors,
                "quarlex: cannot convert 'big.bin' into 'out.h': Cannot allocate memory\n");
      EXPECT_EQ(read_file(dir / "out.h"), OLD_TEXT);
    } else if (run.status == 0) {
      EXPECT_EQ(mask_date_line(read_file(dir / "out.h")),
                include_file(Flavour::CSource, "big.bin", "big_bin", sample_bytes(300000)));
    }
    EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"big.bin", "out.h"}));
  }
  EXPECT_TRUE(failed_cleanly) << "no limit made the run run out of memory";
}

// The file a standard descriptor has open, under whatever name, is written
// through that descriptor: a shell's >> log is appended to, and what the
// shell appends afterwards still lands in it.
TEST(Descriptors, AFileOpenOnADescriptorIsWrittenThroughIt) {
  SKIP_UNLESS(missing_for(false));
  ScratchFolder dir;
  write_file(dir / "s.bin", SOURCE_BYTES);
  fs::create_symlink("/dev/stdout", dir / "to-stdout");
  fs::create_symlink("log.txt", dir / "to-log");
  const struct {
    const char* output;
    const char* redirection;
  } cases[] = {
      {"/dev/stdout", ">> log.txt"},      {"/dev/./stdout", ">> log.txt"},
      {"//dev/stdout", ">> log.txt"},     {"to-stdout", ">> log.txt"},
      {"/dev/fd/1", ">> log.txt"},        {"/proc/self/fd/1", ">> log.txt"},
      {"log.txt", ">> log.txt"},          {"./to-log", ">> log.txt"},
      {"/dev/stderr", "2>> log.txt"},     {"/dev/fd/3", "3>> log.txt"},
      {"/proc/self/fd/3", "3>> log.txt"}, {"log.txt", "2>> log.txt"},
      {"./to-log", "2>> log.txt"},
  };
  const std::string cd = "cd " + shell_quote(dir.path().string()) + " && ";
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.output) + " " + c.redirection);
    write_file(dir / "log.txt", "kept\n");
    const int status = run_shell(cd + "{ " + tool_command() + " s.bin " + shell_quote(c.output) +
                                 " blob; echo after; } " + c.redirection);
    EXPECT_EQ(status, 0);
    const std::string log = read_file(dir / "log.txt");
    const std::string text = include_file(oracle::flavour(c.output), "s.bin", "blob", SOURCE_BYTES);
    const std::string after = std::string(c.redirection).starts_with(">>") ? "after\n" : "";
    EXPECT_EQ(mask_date_line(log), "kept\n" + text + after);
    EXPECT_EQ(names_in(dir.path()),
              (std::set<std::string>{"log.txt", "s.bin", "to-log", "to-stdout"}));
  }
}

// A pipe that its opener set not to wait for room refuses a write while it
// is full; the whole text must still arrive, in order, however slowly the
// other end reads.
TEST(Descriptors, ANonBlockingPipeGetsTheWholeText) {
  SKIP_UNLESS(missing_for(false));
  if (testing_another_executable()) GTEST_SKIP() << "starts this build's executable itself";
  ScratchFolder dir;
  const std::string bytes = sample_bytes(300000);
  write_file(dir / "s.bin", bytes);
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ASSERT_EQ(::fcntl(ends[1], F_SETFL, ::fcntl(ends[1], F_GETFL) | O_NONBLOCK), 0);
  const pid_t child = start_quarlex(dir.path(), {"s.bin", "/dev/stdout", "blob"}, ends[1]);
  ::close(ends[1]);
  // Slower than the writer, so that the pipe is full again and again.
  const support::Drained out =
      support::drain_and_reap(ends[0], child, 4096, std::chrono::microseconds(200));
  EXPECT_TRUE(WIFEXITED(out.status) && WEXITSTATUS(out.status) == 0) << out.status;
  EXPECT_EQ(mask_date_line(out.received), include_file(Flavour::Assembly, "s.bin", "blob", bytes));
}

// Written through a copy of standard error, the output's close leaves
// standard error open for the reason of the failure that ended the run.
TEST(Descriptors, TheReasonStillReachesStandardErrorWrittenAsOutput) {
  SKIP_UNLESS(missing_for(false));
  if (::access("/proc/self/mem", R_OK) != 0) GTEST_SKIP() << "no /proc/self/mem here";
  ScratchFolder dir;
  const int status = run_shell("cd " + shell_quote(dir.path().string()) + " && " + tool_command() +
                               " /proc/self/mem /dev/stderr mem 2> err.txt");
  EXPECT_EQ(status, 1);
  const std::string err = read_file(dir / "err.txt");
  EXPECT_TRUE(err.starts_with("; Do not edit!")) << err;
  EXPECT_TRUE(err.ends_with("mem:\r\nquarlex: cannot read '/proc/self/mem': Input/output error\n"))
      << err;
}

// A closed standard descriptor is held on the null device, so no file of
// the run takes its number; an OUTPUT that names it is refused.
TEST(Descriptors, ClosedStandardDescriptorsAreNeverTakenByTheRunsFiles) {
  SKIP_UNLESS(missing_for(false));
  ScratchFolder dir;
  write_file(dir / "s.bin", SOURCE_BYTES);
  const struct {
    const char* output;
    const char* closing;
    int status;
    const char* errors;  // nullptr where standard error is the one closed
  } cases[] = {
      {"/dev/stdout", ">&-", 1,
       "quarlex: cannot open output file '/dev/stdout': Bad file descriptor\n"},
      {"/dev/stdin", "<&-", 1,
       "quarlex: cannot open output file '/dev/stdin': Bad file descriptor\n"},
      {"/proc/self/fd/2", "2>&-", 1, nullptr},
      {"out.h", ">&-", 0, ""},
      {"out.h", "<&- >&- 2>&-", 0, nullptr},
      {"/dev/null", ">&-", 0, ""},
  };
  const std::string cd = "cd " + shell_quote(dir.path().string()) + " && ";
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.output) + " " + c.closing);
    fs::remove(dir / "out.h");
    const int status =
        run_shell(cd + tool_command() + " s.bin " + c.output + " 2> err.txt " + c.closing);
    EXPECT_EQ(status, c.status);
    if (c.errors != nullptr) {
      EXPECT_EQ(read_file(dir / "err.txt"), c.errors);
    }
    if (std::string_view(c.output) == "out.h") {
      EXPECT_EQ(mask_date_line(read_file(dir / "out.h")), expected_text("out.h"));
    }
  }
}

// With the system's protection of links in sticky folders on, a link
// there that neither the user nor the folder's owner made is not followed,
// as the system would not follow it; a dangling one creates nothing.
TEST(Links, LinksAreFollowedAsTheSystemFollowsThem) {
  SKIP_UNLESS(missing_for(true));
  const fs::path setting = "/proc/sys/fs/protected_symlinks";
  if (!fs::exists(setting)) GTEST_SKIP() << "no " << setting << " here";
  ScratchFolder dir;
  fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_exec);
  write_file(dir / "s.bin", SOURCE_BYTES);
  fs::create_directory(dir / "private");
  write_file(dir / "private" / "victim.txt", OLD_TEXT);
  fs::create_directory(dir / "pub");
  give(dir / "pub", 0, 01777);
  const std::string quoted_pub = shell_quote((dir / "pub").string());
  ASSERT_EQ(
      run_shell(AS_NOBODY + " ln -s " + shell_quote((dir / "private" / "victim.txt").string()) +
                " " + quoted_pub + "/planted.h"),
      0);
  ASSERT_EQ(run_shell(AS_NOBODY + " ln -s " + shell_quote((dir / "private" / "new.txt").string()) +
                      " " + quoted_pub + "/dangling.h"),
            0);
  fs::create_symlink("../private/own.txt", dir / "pub" / "own.h");  // root's own link
  fs::create_symlink("pub/planted.h", dir / "via.h");
  {
    const SystemSetting protect(setting, "1");
    for (const char* output : {"pub/planted.h", "pub/dangling.h", "via.h"}) {
      SCOPED_TRACE(output);
      const ToolRun run = run_quarlex(dir.path(), {"s.bin", output});
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(run.printed, "Could not open output file\r\n");
      EXPECT_EQ(run.errors, std::string("quarlex: cannot open output file '") + output +
                                "': Permission denied\n");
    }
    EXPECT_EQ(read_file(dir / "private" / "victim.txt"), OLD_TEXT);
    ASSERT_EQ(run_quarlex(dir.path(), {"s.bin", "pub/own.h"}).status, 0);
    EXPECT_EQ(names_in(dir / "private"), (std::set<std::string>{"own.txt", "victim.txt"}));
  }
  const SystemSetting open_links(setting, "0");
  ASSERT_EQ(run_quarlex(dir.path(), {"s.bin", "pub/planted.h"}).status, 0);
  EXPECT_EQ(mask_date_line(read_file(dir / "private" / "victim.txt")), expected_text("planted.h"));
}

// Each link of the chain is short; joined, they are longer than any path
// the system takes at once.
TEST(Links, ChainsAreFollowedWhateverTheirJoinedLength) {
  SKIP_UNLESS(missing_for(false));
  ScratchFolder dir;
  write_file(dir / "s.bin", SOURCE_BYTES);
  constexpr int LINKS = 12;
  std::string detour;
  for (int i = 0; i < 250; ++i) detour += "./";
  const auto link_name = [](int i) {
    std::string name = std::to_string(i);
    name += ".h";
    return name;
  };
  for (int i = 0; i < LINKS; ++i)
    fs::create_symlink(detour + (i + 1 < LINKS ? link_name(i + 1) : std::string("final.h")),
                       dir / link_name(i));
  ASSERT_EQ(run_quarlex(dir.path(), {"s.bin", link_name(0), "x"}).status, 0);
  EXPECT_EQ(mask_date_line(read_file(dir / "final.h")),
            include_file(Flavour::CSource, "s.bin", "x", SOURCE_BYTES));
  EXPECT_TRUE(fs::is_symlink(dir / link_name(0)));
}

// FAT through FUSE hands out a new inode number for every spelling of a
// name; the source must still never be replaced.
TEST(SameFile, OneFileUnderNamesThatDifferInCaseIsRefused) {
  SKIP_UNLESS(missing_for(true));
  ScratchFolder dir;
  const fs::path fat = dir / "fat";
  const support::SmallFileSystem image(fat, "4M", support::SmallKind::Fat);
  SKIP_UNLESS(image.why_not());
  const std::string bytes = sample_bytes(1000);
  write_file(fat / "a.bin", bytes);
  for (const char* output : {"fat/A.BIN", "fat/a.BIN", "./fat/A.bin"}) {
    SCOPED_TRACE(output);
    const ToolRun run = run_quarlex(dir.path(), {"fat/a.bin", output});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.printed, "Source and output are the same file\r\n");
    EXPECT_EQ(read_file(fat / "a.bin"), bytes);
  }
  EXPECT_EQ(run_quarlex(dir.path(), {"fat/a.bin", "fat/b.h"}).status, 0);
}

// An include file of this tool as SOURCE, over an OUTPUT that holds other
// data, looks like swapped arguments: refused, OUTPUT untouched. Into an
// include file, an empty file or a new one, converting works as ever.
TEST(Swapped, AnIncludeFileOverOtherDataIsRefused) {
  ScratchFolder dir;
  const std::string image = sample_bytes(200);
  write_file(dir / "logo.png", image);
  ASSERT_EQ(run_quarlex(dir.path(), {"logo.png", "logo.h"}).status, 0);
  ASSERT_EQ(run_quarlex(dir.path(), {"logo.png", "logo.inc"}).status, 0);
  for (const char* source : {"logo.h", "logo.inc"}) {
    SCOPED_TRACE(source);
    const ToolRun run = run_quarlex(dir.path(), {source, "logo.png"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.printed, "Could not open output file\r\n");
    // Standard error is text on Windows: its line ends in CR LF there.
    const std::string line_end = testing_windows_build() ? "\r\n" : "\n";
    EXPECT_EQ(run.errors, std::string("quarlex: cannot open output file 'logo.png': the arguments "
                                      "look swapped: '") +
                              source + "' is an include file of this tool and 'logo.png' is not" +
                              line_end);
    EXPECT_EQ(read_file(dir / "logo.png"), image);
  }
  write_file(dir / "empty.h", "");
  for (const char* output : {"logo.inc", "empty.h", "new.h"}) {
    SCOPED_TRACE(output);
    EXPECT_EQ(run_quarlex(dir.path(), {"logo.h", output, "again"}).status, 0);
    EXPECT_EQ(mask_date_line(read_file(dir / output)),
              include_file(oracle::flavour(output), "logo.h", "again", read_file(dir / "logo.h")));
  }
}

// A file written through a descriptor that the shell opened for
// appending (>> log.txt) is added to, not replaced: an include file
// appended to a log is no swap, whatever the log holds.
TEST(Swapped, AFileAppendedToThroughADescriptorIsNoSwap) {
  SKIP_UNLESS(missing_for(false));
  ScratchFolder dir;
  write_file(dir / "logo.png", sample_bytes(200));
  ASSERT_EQ(run_quarlex(dir.path(), {"logo.png", "logo.h"}).status, 0);
  const std::string logo = read_file(dir / "logo.h");
  for (const char* redirection : {">> log.txt", "2>> log.txt"}) {
    SCOPED_TRACE(redirection);
    write_file(dir / "log.txt", "other data\n");
    EXPECT_EQ(run_shell("cd " + shell_quote(dir.path().string()) + " && " + tool_command() +
                        " logo.h log.txt again " + redirection),
              0);
    EXPECT_EQ(mask_date_line(read_file(dir / "log.txt")),
              "other data\n" + include_file(Flavour::Assembly, "logo.h", "again", logo));
  }
}

// A rename that the system refuses at the end (here the name became a
// folder meanwhile) fails the run, and the scratch file goes.
TEST(Rename, ARefusedRenameFailsTheRunAndLeavesNothing) {
  if (testing_another_executable()) GTEST_SKIP() << "starts this build's executable itself";
  ScratchFolder dir;
  make_sparse_file(dir / "big.bin", std::uintmax_t{256} << 20);
  write_file(dir / "out.h", OLD_TEXT);
  const pid_t child = start_quarlex(dir.path(), {"big.bin", "out.h", "big"});
  ASSERT_GT(child, 0);
  const bool started = !wait_for_scratch(child, dir.path(), 0).empty();
  fs::remove(dir / "out.h");
  fs::create_directory(dir / "out.h");
  write_file(dir / "out.h" / "inside", "");
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(started) << "no scratch file appeared";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"big.bin", "out.h"}));
  EXPECT_EQ(names_in(dir / "out.h"), std::set<std::string>{"inside"});
}

}  // namespace
}  // namespace quarlex::cli
