// Sparse sources of gigabytes: the count in the closing text must be the
// true size past 4 GiB, memory must stay flat however long the run, and a
// person at a terminal sees the progress of a long one.
// Labelled "huge" so that they can be run alone: ctest -L huge

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include "child_process.h"
#include "cli_support.h"
#include "pseudo_terminal.h"

namespace quarlex::cli {
namespace {

constexpr std::uintmax_t HUGE_SIZE = (std::uintmax_t{1} << 32) + 5;
constexpr long FLAT_MEMORY_KIB = 8 * 1024;

TEST(HugeSource, CountsPastFourGibibytes) {
  ScratchFolder dir;
  {
    std::FILE* file = std::fopen((dir / "huge.bin").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
  }
  fs::resize_file(dir / "huge.bin", HUGE_SIZE);  // sparse: costs no disk

  // Read the output through a pipe, keeping only its end; a wide pipe and
  // large reads keep the kernel's share of the run small.
  const std::string command = "cd " + shell_quote(dir.path().string()) + " && " + tool_command() +
                              " huge.bin /dev/stdout huge";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  constexpr int WIDE_PIPE = 1 << 20;
  ::fcntl(::fileno(pipe), F_SETPIPE_SZ, WIDE_PIPE);
  std::string chunk(WIDE_PIPE, '\0');
  constexpr std::size_t TAIL_BYTES = 64;
  std::string tail;
  std::uintmax_t total = 0;
  for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;) {
    total += n;
    tail.append(chunk, 0, n);
    if (tail.size() > TAIL_BYTES) tail.erase(0, tail.size() - TAIL_BYTES);
  }
  const int status = ::pclose(pipe);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(tail.ends_with("\r\nDB 0,0,0,0,0\r\n_huge = 4294967301")) << tail;
  // Every byte is a zero: "0," for each, less the last comma of each line,
  // plus "DB " and CR LF for each of the 2^28 + 1 lines.
  const std::uintmax_t lines = (HUGE_SIZE + 15) / 16;
  EXPECT_GT(total, HUGE_SIZE * 2 + lines * 4);

  rusage usage{};
  ASSERT_EQ(::getrusage(RUSAGE_CHILDREN, &usage), 0);
  EXPECT_LT(usage.ru_maxrss, FLAT_MEMORY_KIB) << "peak resident KiB of the converter";
  RecordProperty("peak_resident_kib", static_cast<int>(usage.ru_maxrss));
}

// The progress line appears once a run has taken a second, as the manual
// says.
constexpr std::chrono::seconds LINE_DUE_AFTER{1};
// Read this far, a run is part way through its data, its clock started.
constexpr std::uintmax_t PART_WAY_BYTES = std::uintmax_t{1} << 20;
constexpr std::uintmax_t BIG_SIZE = std::uintmax_t{2} << 30;

// Runs the converter on a sparse source of BIG_SIZE bytes in `dir` into
// /dev/null with standard error on `error_descriptor`. Once it is part way,
// it is stopped and held until its progress line is due, so that the line
// shows on any machine, however fast, then it is let go. Returns the exit
// status, -1 if it did not exit or was never seen part way.
int run_held_up(const ScratchFolder& dir, int error_descriptor) {
  const fs::path source = dir / "big.bin";
  make_sparse_file(source, BIG_SIZE);
  const pid_t child = ::fork();
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(error_descriptor, STDERR_FILENO);
    ::execl(QUARLEX_EXECUTABLE, QUARLEX_EXECUTABLE, source.c_str(), "/dev/null", "big",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const bool part_way =
      support::wait_until([&] { return support::offset_in(child, source) >= PART_WAY_BYTES; });
  ::kill(child, SIGSTOP);
  int status = 0;
  const bool stopped = ::waitpid(child, &status, WUNTRACED) == child && WIFSTOPPED(status);
  // Its clock started before it was stopped; it shows the line at its next
  // block once the clock has passed the due time.
  if (stopped) std::this_thread::sleep_until(std::chrono::steady_clock::now() + LINE_DUE_AFTER);
  ::kill(child, SIGCONT);
  if (stopped && ::waitpid(child, &status, 0) != child) return -1;
  EXPECT_TRUE(part_way) << "the converter never got part way through its source";
  EXPECT_TRUE(stopped) << "the converter ended before it could be held: " << status;
  return part_way && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A person at a terminal sees how far a long run has got, on one line that
// is rewritten and cleared at the end.
TEST(HugeSource, ProgressShowsOnATerminal) {
  if (testing_another_executable()) GTEST_SKIP() << "starts this build's executable itself";
  ScratchFolder dir;
  const support::PseudoTerminal terminal;
  ASSERT_EQ(terminal.why_not(), "");
  const int other_end = terminal.open_other_end(O_RDWR);
  ASSERT_GE(other_end, 0);
  std::string shown;
  std::thread reader([&] {
    char buffer[4096];
    for (ssize_t n; (n = ::read(terminal.controlling(), buffer, sizeof buffer)) > 0;)
      shown.append(buffer, static_cast<std::size_t>(n));
  });
  const int status = run_held_up(dir, other_end);
  ::close(other_end);  // the reader then sees the end
  reader.join();
  EXPECT_EQ(status, 0);
  EXPECT_NE(shown.find("\rquarlex: "), std::string::npos) << shown;
  EXPECT_NE(shown.find(" MiB of 2048 MiB ("), std::string::npos) << shown;
  EXPECT_NE(shown.find("%), "), std::string::npos) << shown;
  EXPECT_NE(shown.find(" MiB/s, "), std::string::npos) << shown;
  EXPECT_NE(shown.find(" s left"), std::string::npos) << shown;
  // Cleared at the end: blanks over the line, and back to its start.
  EXPECT_TRUE(shown.ends_with("    \r")) << shown;
}

// The same run with standard error in a file, as a build log, shows
// nothing there.
TEST(HugeSource, NoProgressReachesAFile) {
  if (testing_another_executable()) GTEST_SKIP() << "starts this build's executable itself";
  ScratchFolder dir;
  const fs::path log = dir / "errors.txt";
  const int file = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(file, 0);
  EXPECT_EQ(run_held_up(dir, file), 0);
  ::close(file);
  EXPECT_EQ(read_file(log), "");
}

}  // namespace
}  // namespace quarlex::cli
