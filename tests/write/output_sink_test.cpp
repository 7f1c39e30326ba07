#include "write/output_sink.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string>

#include "scratch_folder.h"
#include "small_file_system.h"

namespace quarlex {
namespace {

constexpr std::size_t MEBIBYTE = std::size_t{1} << 20;
constexpr std::size_t PIECE_BYTES = 256 * 1024;  // as the stream hands text over

std::string sample_text(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('0' + i * 7 % 43);
  return text;
}

struct Written {
  int write_error = 0;  // the first failed write's reason
  int close_error = 0;
};

// Writes `text` through a scratch file sink into a new file at `path`, in
// the pieces the output stream hands over.
Written write_through_scratch_sink(const std::filesystem::path& path, const std::string& text) {
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (descriptor == -1) return {errno, 0};
  const auto sink = scratch_file_sink(descriptor);
  Written written;
  for (std::size_t at = 0; at < text.size() && written.write_error == 0; at += PIECE_BYTES)
    written.write_error = sink->write(text.data() + at, std::min(PIECE_BYTES, text.size() - at));
  written.close_error = sink->close();
  return written;
}

std::uintmax_t bytes_on_disk(const std::filesystem::path& path) {
  struct stat facts {};
  if (::stat(path.c_str(), &facts) != 0) return 0;
  return static_cast<std::uintmax_t>(facts.st_blocks) * 512;
}

// The room reserved ahead of the text goes back when the sink closes: the
// file holds the text and takes no more of the disk than it needs, whether
// the text ends inside the first reservation or past several.
TEST(ScratchFileSink, LeavesTheTextAndNoRoomBeyondIt) {
  const support::ScratchFolder folder;
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, PIECE_BYTES, PIECE_BYTES + 1,
                                 40 * MEBIBYTE, 70 * MEBIBYTE + 3}) {
    SCOPED_TRACE(size);
    const auto path = folder / ("out" + std::to_string(size));
    const std::string text = sample_text(size);
    const Written written = write_through_scratch_sink(path, text);
    EXPECT_EQ(written.write_error, 0);
    EXPECT_EQ(written.close_error, 0);
    EXPECT_TRUE(support::read_file(path) == text);
    // A file system keeps at most a block or so beyond the text, never the
    // mebibytes reserved ahead.
    EXPECT_LT(bytes_on_disk(path), size + MEBIBYTE);
  }
}

// Where the disk has room for the text but not for a reservation ahead of
// it, the text is still written whole; where it has no room for the text,
// the write that finds none says so. On ext4, where reserving pays.
TEST(ScratchFileSink, OnASmallDiskOnlyTheTextDecides) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a file system needs root, as CI runs the tests";
  const support::ScratchFolder folder;
  const support::SmallFileSystem small(folder / "small", "24M", support::SmallKind::Ext4);
  if (small.why_not() == "no loop devices here") GTEST_SKIP() << small.why_not();
  ASSERT_TRUE(small.mounted()) << small.why_not();
  const std::uintmax_t free = small.free_bytes();
  ASSERT_GT(free, 8 * MEBIBYTE);
  const struct {
    std::size_t size;
    int write_error;
  } cases[] = {{free / 2, 0}, {free - MEBIBYTE, 0}, {free + MEBIBYTE, ENOSPC}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    const auto path = folder / "small" / "out";
    const std::string text = sample_text(c.size);
    const Written written = write_through_scratch_sink(path, text);
    EXPECT_EQ(written.write_error, c.write_error);
    EXPECT_EQ(written.close_error, 0);
    if (c.write_error == 0) {
      EXPECT_TRUE(support::read_file(path) == text);
      EXPECT_LT(bytes_on_disk(path), c.size + MEBIBYTE);
    }
    std::filesystem::remove(path);
  }
}

}  // namespace
}  // namespace quarlex
