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
#include <cstdlib>
#include <thread>

#include "cli_support.h"

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

// Runs the converter on `source` into /dev/null with standard error on
// `error_descriptor`, and holds it stopped for longer than the progress
// line waits, so that the line is due on any machine, however fast.
// Returns the exit status.
int run_held_up(const fs::path& source, int error_descriptor) {
  const pid_t child = ::fork();
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(error_descriptor, STDERR_FILENO);
    ::execl(QUARLEX_EXECUTABLE, QUARLEX_EXECUTABLE, source.c_str(), "/dev/null", "big",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ::kill(child, SIGSTOP);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  ::kill(child, SIGCONT);
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A person at a terminal sees how far a long run has got, on one line that
// is rewritten and cleared at the end; a build log never does.
TEST(HugeSource, ProgressShowsOnATerminalOnly) {
  if (testing_another_executable()) GTEST_SKIP() << "starts this build's executable itself";
  ScratchFolder dir;
  constexpr std::uintmax_t SIZE = std::uintmax_t{2} << 30;
  write_file(dir / "big.bin", "");
  fs::resize_file(dir / "big.bin", SIZE);  // sparse: costs no disk

  const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(terminal, 0);
  ASSERT_EQ(::grantpt(terminal), 0);
  ASSERT_EQ(::unlockpt(terminal), 0);
  const int other_end = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(other_end, 0);
  std::string shown;
  std::thread reader([&] {
    char buffer[4096];
    for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;)
      shown.append(buffer, static_cast<std::size_t>(n));
  });
  const int status = run_held_up(dir / "big.bin", other_end);
  ::close(other_end);  // the reader then sees the end
  reader.join();
  ::close(terminal);
  EXPECT_EQ(status, 0);
  EXPECT_NE(shown.find("\rquarlex: "), std::string::npos) << shown;
  EXPECT_NE(shown.find(" MiB of 2048 MiB ("), std::string::npos) << shown;
  EXPECT_NE(shown.find("%), "), std::string::npos) << shown;
  EXPECT_NE(shown.find(" MiB/s, "), std::string::npos) << shown;
  EXPECT_NE(shown.find(" s left"), std::string::npos) << shown;
  // Cleared at the end: blanks over the line, and back to its start.
  EXPECT_TRUE(shown.ends_with("    \r")) << shown;

  // The same run with standard error in a file shows nothing there.
  const fs::path log = dir / "errors.txt";
  const int file = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(file, 0);
  EXPECT_EQ(run_held_up(dir / "big.bin", file), 0);
  ::close(file);
  EXPECT_EQ(read_file(log), "");
}

}  // namespace
}  // namespace quarlex::cli
