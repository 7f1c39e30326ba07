// Every way a run can fail, on the real executable: exit status, what it
// prints, and what happens to each file involved.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "child_process.h"
#include "cli_support.h"
#include "pseudo_terminal.h"

namespace quarlex::cli {
namespace {

const char* const USAGE_TEXT =
    "QUARLEX 1.5 interprets any binary file and writes an\r\n"
    "Assembly language or C/C++ output file. Use:\r\n"
    "\r\n"
    "  QUARLEX source.bin output.inc [label name]\r\n"
    "\r\n"
    "If you don't specify a label, one will be created from\r\n"
    "the source file name, replacing blanks with underscores.\r\n"
    "An equate beginning with \"_\" is defined that represents\r\n"
    "the file size.\r\n"
    "QUARLEX (C) 2026 The Quarlex Developers\r\n"
    "Quarlex Developers, 12 Harbour Row, Westhaven WH4 7QX\r\n"
    "Mail: quarlex@example.org\r\n";

const char* const SOURCE_UNOPENABLE = "Could not open source file\r\n";
const char* const OUTPUT_UNOPENABLE = "Could not open output file\r\n";
const char* const SAME_FILE = "Source and output are the same file\r\n";
const char* const UNTOUCHED = "stays as it was";

// The line on standard error: exactly `start` + `reason` and a line end,
// but from the Windows build only `start`, since its C library words some
// reasons and ends lines in its own way.
void expect_reason(const ToolRun& run, const std::string& start, const std::string& reason) {
  if (testing_windows_build())
    EXPECT_TRUE(run.errors.starts_with(start)) << run.errors;
  else
    EXPECT_EQ(run.errors, start + reason + "\n");
}
constexpr int LIMIT_BLOCKS = 1200;  // of 512 bytes: 614,400 bytes

TEST(Failure, TooFewArgumentsPrintUsageAndTouchNothing) {
  ScratchFolder dir;
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, std::vector<std::string>{"source.bin"}}) {
    const ToolRun run = run_quarlex(dir.path(), arguments);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.printed, USAGE_TEXT);
    EXPECT_EQ(run.errors, "");
    EXPECT_TRUE(fs::is_empty(dir.path()));
  }
}

TEST(Failure, UnopenableSourceLeavesTheOutputAsItWas) {
  ScratchFolder dir;
  fs::create_directory(dir / "folder");
  const char* const sources[] = {"missing.bin", "no/such/dir/x.bin", "folder", "."};
  for (const char* source : sources) {
    SCOPED_TRACE(source);
    write_file(dir / "out.inc", UNTOUCHED);
    const ToolRun run = run_quarlex(dir.path(), {source, "out.inc"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.printed, SOURCE_UNOPENABLE);
    EXPECT_EQ(read_file(dir / "out.inc"), UNTOUCHED);
    // Nor is a missing output created.
    EXPECT_EQ(run_quarlex(dir.path(), {source, "new.h"}).status, 1);
    EXPECT_FALSE(fs::exists(dir / "new.h"));
  }
}

TEST(Failure, UnopenableOutputIsReported) {
  ScratchFolder dir;
  write_file(dir / "src.bin", "abc");
  fs::create_directory(dir / "folder");
  const char* const outputs[] = {"folder", "missing/out.inc", ""};
  for (const char* output : outputs) {
    SCOPED_TRACE(output);
    const ToolRun run = run_quarlex(dir.path(), {"src.bin", output});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.printed, OUTPUT_UNOPENABLE);
    EXPECT_EQ(read_file(dir / "src.bin"), "abc");
  }
}

// Each failure to open: the fixed message on standard output, as ever, and
// on standard error the file and the system's reason.
TEST(Failure, OpenFailuresNameTheFileAndTheReason) {
  ScratchFolder dir;
  write_file(dir / "src.bin", "abc");
  fs::create_directory(dir / "folder");
  const struct {
    const char* source;
    const char* output;
    const char* printed;
    const char* start;
    const char* reason;
  } cases[] = {
      {"nosuch.bin", "out.h", SOURCE_UNOPENABLE,
       "quarlex: cannot open source file 'nosuch.bin': ", "No such file or directory"},
      {"folder", "out.h", SOURCE_UNOPENABLE,
       "quarlex: cannot open source file 'folder': ", "Is a directory"},
      {"src.bin", "missing/out.h", OUTPUT_UNOPENABLE,
       "quarlex: cannot open output file 'missing/out.h': ", "No such file or directory"},
      {"src.bin", "folder", OUTPUT_UNOPENABLE,
       "quarlex: cannot open output file 'folder': ", "Is a directory"},
      {"src.bin", "./src.bin", SAME_FILE,
       "quarlex: cannot convert 'src.bin' into './src.bin': ", "they are the same file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " -> " + c.output);
    const ToolRun run = run_quarlex(dir.path(), {c.source, c.output});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.printed, c.printed);
    expect_reason(run, c.start, c.reason);
  }
}

// A SOURCE_DATE_EPOCH that is no whole number of seconds in range fails the
// run before anything is opened: the output stays as it was.
TEST(Failure, MalformedSourceDateEpochLeavesTheOutputAsItWas) {
  ScratchFolder dir;
  write_file(dir / "src.bin", "abc");
  write_file(dir / "out.h", UNTOUCHED);
  for (const char* value :
       {"abc", "-1", "1.5", "1e9", "0x10", " 5", "253402300800", "99999999999999999999999"}) {
    SCOPED_TRACE(value);
    const ToolRun run =
        run_quarlex(dir.path(), {"src.bin", "out.h"}, "SOURCE_DATE_EPOCH=" + shell_quote(value));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.printed, "");
    EXPECT_TRUE(run.errors.starts_with("quarlex: SOURCE_DATE_EPOCH is not a whole number"))
        << run.errors;
    EXPECT_NE(run.errors.find(std::string("'") + value + "'"), std::string::npos) << run.errors;
    EXPECT_EQ(read_file(dir / "out.h"), UNTOUCHED);
    EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"out.h", "src.bin"}));
  }
}

TEST(Failure, SourceAndOutputAsTheSameFileAreRefused) {
  ScratchFolder dir;
  const std::string bytes = sample_bytes(1000);
  fs::create_directory(dir / "sub");
  write_file(dir / "data.h", bytes);
  fs::create_hard_link(dir / "data.h", dir / "hard.h");
  fs::create_symlink("data.h", dir / "link.h");
  const struct {
    const char* source;
    const char* output;
  } spellings[] = {
      {"data.h", "data.h"},    {"data.h", "./data.h"}, {"sub/../data.h", "data.h"},
      {"data.h", "hard.h"},    {"link.h", "data.h"},   {"data.h", "link.h"},
      {"data.h", ".//data.h"},
  };
  for (const auto& s : spellings) {
    SCOPED_TRACE(std::string(s.source) + " -> " + s.output);
    const ToolRun run = run_quarlex(dir.path(), {s.source, s.output});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.printed, SAME_FILE);
    EXPECT_EQ(read_file(dir / "data.h"), bytes);
  }
  // The absolute spelling of the same file.
  const ToolRun run = run_quarlex(dir.path(), {(dir / "data.h").string(), "data.h"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(read_file(dir / "data.h"), bytes);
}

// Every size class must fail on a full device, the empty source included:
// there the only writes are the header and the closing text.
TEST(Failure, FullDeviceFailsForEverySize) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  ScratchFolder dir;
  fs::create_symlink("/dev/full", dir / "full.h");
  for (std::size_t size : {0u, 1u, 17u, 65537u, 1000000u}) {
    write_file(dir / "data.bin", sample_bytes(size));
    for (const char* output : {"/dev/full", "full.h"}) {
      SCOPED_TRACE(std::to_string(size) + " bytes into " + output);
      const ToolRun run = run_quarlex(dir.path(), {"data.bin", output});
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(run.printed, "");
      expect_reason(
          run, std::string("quarlex: cannot write '") + output + "': ", "No space left on device");
    }
  }
}

// A file size limit makes a write fail part way through the data, after
// several chunks have already reached the scratch file: the old output
// stays as it was, a missing one stays missing, and nothing is left beside.
TEST(Failure, LateWriteFailureLeavesTheOldOutputAsItWas) {
  ScratchFolder dir;
  write_file(dir / "data.bin", sample_bytes(1000000));
  const std::string limit = "trap '' XFSZ; ulimit -f " + std::to_string(LIMIT_BLOCKS) + ";";
  for (const char* output : {"out.inc", "out.h"}) {
    SCOPED_TRACE(output);
    for (bool old_output : {true, false}) {
      if (old_output) write_file(dir / output, UNTOUCHED);
      const ToolRun run = run_quarlex(dir.path(), {"data.bin", output, "blob"}, limit);
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(run.printed, "");
      expect_reason(run, std::string("quarlex: cannot write '") + output + "': ", "File too large");
      if (old_output) {
        EXPECT_EQ(read_file(dir / output), UNTOUCHED);
        EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"data.bin", output}));
        fs::remove(dir / output);
      } else {
        EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"data.bin"});
      }
    }
  }
}

// Written in place, through a descriptor the shell opened, a cut output
// holds what could be written, and no closing text.
TEST(Failure, LateWriteFailureInPlaceEndsWithoutClosingText) {
  if (testing_windows_build()) GTEST_SKIP() << "/dev/fd/3 is a Linux name";
  ScratchFolder dir;
  write_file(dir / "data.bin", sample_bytes(1000000));
  const ToolRun run =
      run_quarlex(dir.path(), {"data.bin", "/dev/fd/3", "blob"},
                  "trap '' XFSZ; ulimit -f " + std::to_string(LIMIT_BLOCKS) + "; exec 3>cut.inc;");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.printed, "");
  const std::string text = read_file(dir / "cut.inc");
  EXPECT_EQ(text.size(), LIMIT_BLOCKS * 512u);
  EXPECT_EQ(text.find("_blob"), std::string::npos);
}

// The first page of a process's own memory cannot be read: a real read
// error. A regular output is left as it was; one written in place through
// a descriptor ends after the header.
TEST(Failure, ReadErrorLeavesTheOldOutputAsItWas) {
  if (::access("/proc/self/mem", R_OK) != 0) GTEST_SKIP() << "no /proc/self/mem here";
  ScratchFolder dir;
  for (const char* output : {"mem.inc", "mem.h"}) {
    SCOPED_TRACE(output);
    write_file(dir / output, UNTOUCHED);
    const ToolRun run = run_quarlex(dir.path(), {"/proc/self/mem", output, "mem"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.printed, "");
    expect_reason(run, "quarlex: cannot read '/proc/self/mem': ", "Input/output error");
    EXPECT_EQ(read_file(dir / output), UNTOUCHED);
    EXPECT_EQ(names_in(dir.path()).size(), 1u) << "something was left beside " << output;
    fs::remove(dir / output);
  }
  const ToolRun run =
      run_quarlex(dir.path(), {"/proc/self/mem", "/dev/fd/3", "mem"}, "exec 3>cut.inc;");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(read_file(dir / "cut.inc").ends_with("mem:\r\n"));
}

// A terminal whose other end goes away fails the next read with EIO: a real
// device failing honestly, here after more than one block of data.
TEST(Failure, ReadErrorAfterTheFirstBlockKeepsItsLinesButNoClosingText) {
  support::PseudoTerminal terminal;
  ASSERT_EQ(terminal.why_not(), "");
  ASSERT_TRUE(terminal.make_raw());
  const std::string bytes = sample_bytes(65536 + 4464);
  bool taken = false;
  std::thread feeder([&] {
    // Held open here so that what is sent waits for the converter.
    const int reader_side = terminal.open_other_end(O_RDONLY);
    // What the converter read before the terminal: its loader's files and,
    // in a sanitizer build, the runtime's, which can outweigh the bytes
    // sent here. Taken while it waits on the terminal with nothing sent.
    pid_t converter = 0;
    support::wait_until(
        [&] { return (converter = support::process_waiting_to_read(terminal.name())) != 0; });
    const std::uintmax_t read_before = converter != 0 ? support::bytes_read_by(converter) : 0;
    // Nothing is sent to a converter that never came: the writes would
    // wait for it for ever.
    std::size_t sent = 0;
    while (converter != 0 && sent < bytes.size()) {
      const ssize_t n = ::write(terminal.controlling(), bytes.data() + sent, bytes.size() - sent);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    // Hang up only once the converter has taken every byte and waits in a
    // read for more, which the hang-up then fails. An empty input queue
    // alone is not enough: sent bytes may still wait in the terminal's
    // buffers on their way to it.
    taken = converter != 0 && support::wait_until([&] {
              return support::bytes_read_by(converter) - read_before >= bytes.size() &&
                     support::process_waiting_to_read(terminal.name()) == converter;
            });
    ::close(reader_side);
    terminal.hang_up();
  });
  ScratchFolder dir;
  // Written in place through a descriptor, so that what was converted
  // before the failure can be seen; a regular output would stay as it was.
  const ToolRun run =
      run_quarlex(dir.path(), {terminal.name(), "/dev/fd/3", "tty"}, "exec 3>out.inc;");
  feeder.join();
  EXPECT_TRUE(taken) << "the converter never waited for more than it was sent";
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.printed, "");
  // The first block's 4,096 lines are there; nothing of the failed block,
  // and no closing text.
  const std::string expected =
      include_file(Flavour::Assembly, terminal.name(), "tty", bytes.substr(0, 65536));
  const std::string text = mask_date_line(read_file(dir / "out.inc"));
  EXPECT_EQ(text, expected.substr(0, expected.find("_tty = ")));
}

}  // namespace
}  // namespace quarlex::cli
