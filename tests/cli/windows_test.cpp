// Windows paths, run only where the tool is the Windows build under Wine:
// QUARLEX_WINDOWS_DRIVE_C names the Unix folder behind drive C:, and
// QUARLEX_WINDOWS_HELPER starts tests/windows/windows_helper.cpp.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>

#include "cli_support.h"

namespace quarlex::cli {
namespace {

const char* const OUTPUT_UNOPENABLE = "Could not open output file\r\n";
const char* const SOURCE_UNOPENABLE = "Could not open source file\r\n";
const std::string OLD_TEXT = "old text\r\n";
// What Windows gives a program ended by Ctrl+C (STATUS_CONTROL_C_EXIT),
// as a Unix status: its low byte.
constexpr int CONTROL_C_EXIT = 0x3A;
constexpr int KILLED_BY_SIGKILL = 128 + 9;

// A reason line as the Windows build writes it to standard error.
std::string reason_line(const std::string& text) { return "quarlex: " + text + "\r\n"; }

TEST(Windows, DriveLetterAndBackslashesGiveTheLabelOfTheFileName) {
  const char* drive_c = std::getenv("QUARLEX_WINDOWS_DRIVE_C");
  if (drive_c == nullptr) GTEST_SKIP() << "not testing a Windows build";
  const fs::path data = fs::path(drive_c) / "data";
  fs::create_directories(data);
  const std::string bytes = sample_bytes(17);
  write_file(data / "logo image.bmp", bytes);

  ScratchFolder dir;
  const std::string source = "C:\\data\\logo image.bmp";
  for (const char* output : {"logo.inc", "logo.h"}) {
    SCOPED_TRACE(output);
    const ToolRun run = run_quarlex(dir.path(), {source, output});
    EXPECT_EQ(run.status, 0);
    const Flavour flavour =
        std::string(output).ends_with(".h") ? Flavour::CSource : Flavour::Assembly;
    EXPECT_EQ(mask_date_line(read_file(dir / output)),
              include_file(flavour, source, "logo_image_bmp", bytes));
  }
  fs::remove_all(data);
}

// The file named is the file opened and written, whatever its characters,
// and the label comes from the same UTF-8 bytes as on Linux (each byte of
// a character outside ASCII is one "_", and leading ones go as the blank
// does). A code page would have made "ā" an "a" and "∕" (U+2215) a "\".
TEST(Windows, EveryNameIsTheFileItNames) {
  if (!testing_windows_build()) GTEST_SKIP() << "not testing a Windows build";
  const struct {
    const char* source;
    const char* output;
    const char* label;
  } cases[] = {
      {"héllo wörld.bin", "héllo.inc", "h__llo_w__rld_bin"},
      {"s.bin", "ā.h", "s_bin"},
      {"ā.bin", "x.h", "_bin"},
      {"s.bin", "sub∕x.h", "s_bin"},
      {"😀 data.bin", "😀.h", "data_bin"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    ScratchFolder dir;
    // The look-alikes a code page would have picked instead.
    fs::create_directories(dir / "sub");
    for (const char* look_alike : {"a.h", "a.bin", "sub/x.h"})
      write_file(dir / look_alike, OLD_TEXT);
    const std::string bytes = sample_bytes(33);
    write_file(dir / c.source, bytes);
    const ToolRun run = run_quarlex(dir.path(), {c.source, c.output});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(mask_date_line(read_file(dir / c.output)),
              include_file(oracle::flavour(c.output), c.source, c.label, bytes));
    for (const char* look_alike : {"a.h", "a.bin", "sub/x.h"})
      EXPECT_EQ(read_file(dir / look_alike), OLD_TEXT) << look_alike;
  }
}

// Names Windows would write under another name (its extension then not the
// one that chose the flavour), a stream of a file, names it cannot take,
// and devices that are not there are refused before anything is made.
TEST(Windows, NamesThatCannotBeWrittenAsTypedAreRefusedWithTheirReason) {
  if (!testing_windows_build()) GTEST_SKIP() << "not testing a Windows build";
  const struct {
    const char* output;
    const char* reason;
  } cases[] = {
      {"out.h.", "Invalid argument"},
      {"out.h...", "Invalid argument"},
      {"out.h. .", "Invalid argument"},
      {"out.h ", "Invalid argument"},
      {"out?.h", "Invalid argument"},
      {"a<b.h", "Invalid argument"},
      {"out.h:stream", "Invalid argument"},
      {"out.h::$DATA", "Invalid argument"},
      {"LPT1", "No such device"},
      {"COM9", "No such device"},
      {"PRN", "No such device"},
      {"Q:\\x.h", "No such device"},
  };
  ScratchFolder dir;
  write_file(dir / "s.bin", "abc");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    const ToolRun run = run_quarlex(dir.path(), {"s.bin", c.output});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.printed, OUTPUT_UNOPENABLE);
    EXPECT_EQ(run.errors,
              reason_line("cannot open output file '" + std::string(c.output) + "': " + c.reason));
    EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"s.bin"}));
  }
}

TEST(Windows, SourceThatIsAFolderOrAMissingDeviceIsRefusedWithTheReason) {
  if (!testing_windows_build()) GTEST_SKIP() << "not testing a Windows build";
  const struct {
    const char* source;
    const char* reason;
  } cases[] = {{".", "Is a directory"}, {"folder", "Is a directory"}, {"COM9", "No such device"}};
  ScratchFolder dir;
  fs::create_directory(dir / "folder");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    const ToolRun run = run_quarlex(dir.path(), {c.source, "out.h"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.printed, SOURCE_UNOPENABLE);
    EXPECT_EQ(run.errors,
              reason_line("cannot open source file '" + std::string(c.source) + "': " + c.reason));
    EXPECT_FALSE(fs::exists(dir / "out.h"));
  }
}

// Past the 260 characters of a path that Windows programs are held to
// without the \\?\ prefix, which the tool adds itself.
TEST(Windows, PathsLongerThan260CharactersWork) {
  if (!testing_windows_build()) GTEST_SKIP() << "not testing a Windows build";
  ScratchFolder dir;
  const std::string part(100, 'f');
  const fs::path folder = dir / part / part / part;
  fs::create_directories(folder);
  const std::string windows_folder = part + "\\" + part + "\\" + part + "\\";
  const std::string bytes = sample_bytes(20);
  write_file(folder / "source.bin", bytes);
  for (int run_number = 0; run_number < 2; ++run_number) {  // new, then replaced
    SCOPED_TRACE(run_number);
    const ToolRun run =
        run_quarlex(dir.path(), {windows_folder + "source.bin", windows_folder + "out.h", "blob"});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(mask_date_line(read_file(folder / "out.h")),
              include_file(Flavour::CSource, windows_folder + "source.bin", "blob", bytes));
  }
}

// Another program holds the output or the source open, sharing what
// `sharing` lists: the run fails with the reason, and OUTPUT stays whole.
// Windows replaces no file that is open, even where its deletion is shared.
TEST(Windows, FilesHeldOpenByAnotherProgramAreLeftWholeWithTheReason) {
  const char* helper = std::getenv("QUARLEX_WINDOWS_HELPER");
  const char* tool = std::getenv("QUARLEX_WINDOWS_EXECUTABLE");
  if (helper == nullptr || tool == nullptr) GTEST_SKIP() << "no Windows helper given";
  const struct {
    const char* sharing;
    const char* held;
    int status;
    const char* errors;
  } cases[] = {
      {"-", "out.h", 1, "cannot open output file 'out.h': Device or resource busy"},
      {"r", "out.h", 1, "cannot open output file 'out.h': Device or resource busy"},
      {"rw", "out.h", 1, "cannot replace 'out.h': Device or resource busy"},
      {"rwd", "out.h", 1, "cannot replace 'out.h': Device or resource busy"},
      {"-", "s.bin", 1, "cannot open source file 's.bin': Device or resource busy"},
      {"r", "s.bin", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.sharing) + " " + c.held);
    ScratchFolder dir;
    ScratchFolder outside;  // for what the tool prints
    write_file(dir / "s.bin", "abc");
    write_file(dir / "out.h", OLD_TEXT);
    const fs::path errors = outside / "errors";
    const int status =
        run_shell("cd " + shell_quote(dir.path().string()) + " && " + helper + " " + c.sharing +
                  " " + c.held + " " + shell_quote(tool) +
                  " s.bin out.h < /dev/null > /dev/null 2> " + shell_quote(errors.string()));
    EXPECT_EQ(status, c.status);
    if (c.status != 0) {
      EXPECT_EQ(read_file(errors), reason_line(c.errors));
      EXPECT_EQ(read_file(dir / "out.h"), OLD_TEXT);
    } else {
      EXPECT_EQ(mask_date_line(read_file(dir / "out.h")),
                include_file(Flavour::CSource, "s.bin", "s_bin", "abc"));
    }
    EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"s.bin", "out.h"}));
  }
}

// Starts the tool on big.bin into out.h in `dir`, waits until `condition`
// (a shell test) holds or the tool has ended, sends `signal` to Wine's
// process, and returns the tool's status. Wine turns SIGINT into Ctrl+C
// for the program; SIGKILL ends it as TerminateProcess does.
int interrupt_when(const ScratchFolder& dir, const std::string& condition, const char* signal) {
  return run_shell("cd " + shell_quote(dir.path().string()) + " && { " + tool_command() +
                   " big.bin out.h < /dev/null > /dev/null 2>&1 & pid=$!; until " + condition +
                   " || ! kill -0 $pid 2> /dev/null; do :; done; kill -" + signal +
                   " $pid; wait $pid; } 2> /dev/null");
}

// The names in `dir` once they are `expected`, or after ten seconds: Wine's
// server closes a process's files, and so deletes those marked for it,
// only some moments after the process has ended.
std::set<std::string> names_left_once_settled(const ScratchFolder& dir,
                                              const std::set<std::string>& expected) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::set<std::string> names = names_in(dir.path());
  while (names != expected && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    names = names_in(dir.path());
  }
  return names;
}

// The scratch file beside OUTPUT is marked for deletion from its creation:
// however the run ends before its rename, the system removes it.
TEST(Windows, ARunEndedWhileWritingTheScratchFileLeavesOnlyTheOldOutput) {
  if (!testing_windows_build()) GTEST_SKIP() << "not testing a Windows build";
  ScratchFolder dir;
  make_sparse_file(dir / "big.bin", 40u << 20);
  const struct {
    const char* signal;
    int status;
  } cases[] = {{"INT", CONTROL_C_EXIT}, {"KILL", KILLED_BY_SIGKILL}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.signal);
    write_file(dir / "out.h", OLD_TEXT);
    EXPECT_EQ(
        interrupt_when(dir, "[ -n \"$(find . -name '.out.h.quarlex-*' -size +1M)\" ]", c.signal),
        c.status);
    EXPECT_EQ(read_file(dir / "out.h"), OLD_TEXT);
    EXPECT_EQ(names_left_once_settled(dir, {"big.bin", "out.h"}),
              (std::set<std::string>{"big.bin", "out.h"}));
  }
}

// OUTPUT has a second name, so it is written over from a finished copy.
// Ctrl+C once that has begun stops the copy before OUTPUT is emptied: the
// old file, the new one or an empty one, never a mix.
TEST(Windows, CtrlCDuringTheCopyOverOutputLeavesItWholeOrEmpty) {
  if (!testing_windows_build()) GTEST_SKIP() << "not testing a Windows build";
  ScratchFolder dir;
  const std::string bytes = sample_bytes(24u << 20);
  write_file(dir / "big.bin", bytes);
  const std::string old_text(1u << 20, 'x');
  const std::string new_text = include_file(Flavour::CSource, "big.bin", "big_bin", bytes);
  for (int attempt = 0; attempt < 3; ++attempt) {
    SCOPED_TRACE(attempt);
    write_file(dir / "out.h", old_text);
    fs::remove(dir / "link.h");
    fs::create_hard_link(dir / "out.h", dir / "link.h");
    const int status = interrupt_when(dir, "[ \"$(head -c 1 out.h)\" != x ]", "INT");
    const std::string left = read_file(dir / "out.h");
    EXPECT_TRUE(left.empty() || left == old_text || mask_date_line(left) == new_text)
        << left.size() << " bytes, starting " << left.substr(0, 16);
    EXPECT_TRUE(status == CONTROL_C_EXIT || status == 0) << status;
    EXPECT_EQ(read_file(dir / "link.h"), left);
  }
}

}  // namespace
}  // namespace quarlex::cli
