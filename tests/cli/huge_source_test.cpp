// A sparse source of 4 GiB and 5 bytes: the count in the closing text must
// be its true size, and memory must stay flat however long the run.
// Labelled "huge" so that it can be run alone: ctest -L huge

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>

#include "cli_support.h"

namespace quarlex::cli {
namespace {

constexpr std::uintmax_t HUGE_SIZE = (std::uintmax_t{1} << 32) + 5;
constexpr long FLAT_MEMORY_KIB = 8 * 1024;

TEST(HugeSource, CountsPastFourGibibytes) {
  ScratchDir dir;
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

}  // namespace
}  // namespace quarlex::cli
