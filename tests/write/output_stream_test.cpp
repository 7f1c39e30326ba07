#include "write/output_stream.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

#include "include_oracle.h"
#include "text/data_line.h"

namespace quarlex {
namespace {

const struct {
  const char* name;
  ChunkWriting writing;
} WRITINGS[] = {{"at once", ChunkWriting::AtOnce}, {"in background", ChunkWriting::InBackground}};

std::string read_back(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// An OutputStream writing to `path` in `writing`; nullptr if the file
// cannot be opened.
std::unique_ptr<OutputStream> open_stream(const std::filesystem::path& path, ChunkWriting writing) {
  std::FILE* file = std::fopen(path.string().c_str(), "wb");
  return file == nullptr ? nullptr : std::make_unique<OutputStream>(file, writing);
}

// For texts of megabytes, where a full comparison report would be too big
// to compute: where the first difference lies, and the text around it.
::testing::AssertionResult same_text(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  const auto first = static_cast<std::size_t>(
      std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end()).first -
      actual.begin());
  const std::size_t from = first < 40 ? 0 : first - 40;
  return ::testing::AssertionFailure()
         << "sizes " << actual.size() << " and " << expected.size() << ", first difference at "
         << first << ":\n  actual:   " << actual.substr(from, 80)
         << "\n  expected: " << expected.substr(from, 80);
}

// A fresh folder per test, removed afterwards: CTest runs the tests of
// this file in processes of their own side by side, and two runs of the
// suite may share a machine.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quarlex-stream-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  std::filesystem::path file() const { return path_ / "out.txt"; }
  // An OutputStream writing file() in `writing`; nullptr if it cannot be
  // opened.
  std::unique_ptr<OutputStream> open(ChunkWriting writing) const {
    return open_stream(file(), writing);
  }

 private:
  std::filesystem::path path_;
};

TEST(OutputStream, KeepsPiecesLargerThanItsBufferIntactAndInOrder) {
  std::string big(OUTPUT_BUFFER_BYTES * 2 + 7, ' ');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  const std::uint8_t bytes[] = {1, 2, 3};
  for (const auto& w : WRITINGS) {
    SCOPED_TRACE(w.name);
    const ScratchFolder folder;
    const auto output = folder.open(w.writing);
    ASSERT_NE(output, nullptr);
    DataLineForm asm_form = DataLineForm::AsmLine;
    DataLineForm next_form = DataLineForm::CNextLine;
    EXPECT_TRUE(output->write("head\r\n"));
    EXPECT_TRUE(append_data_lines(*output, bytes, 3, asm_form));
    EXPECT_TRUE(output->write(big));
    EXPECT_TRUE(append_data_lines(*output, bytes, 2, next_form));
    EXPECT_TRUE(output->write("tail"));
    EXPECT_TRUE(output->close());

    EXPECT_TRUE(same_text(read_back(folder.file()), "head\r\nDB 1,2,3\r\n" + big + ",1,2\r\ntail"));
  }
}

// Writes `lead`, waits for `pause`, then appends the lines of a million
// random bytes in `form`, whose prefix the oracle writes as `prefix`; the
// file must hold exactly that, in each writing mode.
void expect_lines_kept_whole(const std::string& lead, std::chrono::milliseconds pause,
                             DataLineForm form, std::string_view prefix) {
  constexpr std::size_t SIZE = 1'000'003;
  std::mt19937 random(7);
  std::string bytes(SIZE, '\0');
  for (auto& b : bytes) b = static_cast<char>(random() & 0xFFu);
  std::string expected = lead;
  for (std::size_t at = 0; at < SIZE; at += LINE_BYTES)
    expected += oracle::data_line(prefix, std::string_view(bytes).substr(at, LINE_BYTES));
  for (const auto& w : WRITINGS) {
    SCOPED_TRACE(w.name);
    const ScratchFolder folder;
    const auto output = folder.open(w.writing);
    ASSERT_NE(output, nullptr);
    EXPECT_TRUE(output->write(lead));
    std::this_thread::sleep_for(pause);
    DataLineForm next_form = form;
    EXPECT_TRUE(append_data_lines(*output, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                  SIZE, next_form));
    EXPECT_TRUE(output->close());
    EXPECT_TRUE(same_text(read_back(folder.file()), expected));
  }
}

// Lines composed in place run over the end of a chunk and start the next;
// a million bytes make about a dozen chunks, each with a different overhang.
TEST(OutputStream, LinesAcrossChunkEndsAreKeptWhole) {
  // One byte ahead, every chunk end falls one byte later.
  expect_lines_kept_whole("x", std::chrono::milliseconds(0), DataLineForm::AsmLine, "DB ");
}

// Once the writer thread has waited for a chunk, lines are composed aside
// and copied in past the cache for a while; they must come out the same.
// Waits while the writer's buffers are first used do not count, hence more
// chunks ahead than it has buffers.
TEST(OutputStream, LinesComposedAfterTheWriterWaitedAreKeptWhole) {
  expect_lines_kept_whole(std::string(8 * OUTPUT_BUFFER_BYTES + 5, 'f'),
                          std::chrono::milliseconds(5), DataLineForm::CNextLine, ",");
}

// Pauses longer than a thread watches for the other before it sleeps: the
// writer thread waits asleep for a chunk and must be woken for every one.
TEST(OutputStream, ChunksHandedOverAfterPausesAreAllWritten) {
  constexpr int CHUNKS = 6;
  for (const auto& w : WRITINGS) {
    SCOPED_TRACE(w.name);
    const ScratchFolder folder;
    const auto output = folder.open(w.writing);
    ASSERT_NE(output, nullptr);
    std::string expected;
    for (int i = 0; i < CHUNKS; ++i) {
      const std::string chunk(OUTPUT_BUFFER_BYTES, static_cast<char>('a' + i));
      EXPECT_TRUE(output->write(chunk));
      expected += chunk;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(output->write("end"));
    EXPECT_TRUE(output->close());
    EXPECT_TRUE(same_text(read_back(folder.file()), expected + "end"));
  }
}

TEST(OutputStream, ReportsAFailedWriteAtTheLatestOnClose) {
  for (const auto& w : WRITINGS) {
    SCOPED_TRACE(w.name);
    const auto output = open_stream("/dev/full", w.writing);
    if (output == nullptr) GTEST_SKIP() << "no /dev/full here";
    EXPECT_TRUE(output->write("fits in the buffer"));  // nothing has reached the file yet
    EXPECT_FALSE(output->close());
  }
}

TEST(OutputStream, FailsEveryCallAfterTheFirstFailedWrite) {
  for (const auto& w : WRITINGS) {
    SCOPED_TRACE(w.name);
    const auto output = open_stream("/dev/full", w.writing);
    if (output == nullptr) GTEST_SKIP() << "no /dev/full here";
    // A background write fails after the hand-over; the failure shows at a
    // later one, and from then on every call fails.
    const std::string chunk(OUTPUT_BUFFER_BYTES, 'x');
    bool failed = false;
    for (int i = 0; i < 8 && !failed; ++i) failed = !output->write(chunk);
    EXPECT_TRUE(failed);
    const std::uint8_t bytes[LINE_BYTES] = {};
    EXPECT_EQ(output->reserve(DATA_LINE_ROOM), nullptr);
    DataLineForm form = DataLineForm::AsmLine;
    EXPECT_FALSE(append_data_lines(*output, bytes, LINE_BYTES, form));
    EXPECT_FALSE(output->write("more"));
    EXPECT_FALSE(output->close());
  }
}

// A file whose device takes only so many bytes, and whose close may fail:
// faults no real disk produces at will. A write past the limit is short.
struct FaultyDevice {
  std::size_t capacity;
  bool close_fails;
  std::string taken;
};

std::FILE* open_faulty(FaultyDevice& device) {
  cookie_io_functions_t functions{};
  functions.write = [](void* cookie, const char* data, std::size_t size) -> ssize_t {
    auto& dev = *static_cast<FaultyDevice*>(cookie);
    const std::size_t take = std::min(size, dev.capacity - dev.taken.size());
    dev.taken.append(data, take);
    return static_cast<ssize_t>(take);
  };
  functions.close = [](void* cookie) {
    return static_cast<FaultyDevice*>(cookie)->close_fails ? -1 : 0;
  };
  return ::fopencookie(&device, "wb", functions);
}

// Every short write and a failed close must make the stream report failure,
// however far the text had got; what was taken is the text's beginning.
TEST(OutputStream, ShortWritesAndFailedClosesAreReported) {
  std::string text(3 * OUTPUT_BUFFER_BYTES + 1000, ' ');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 23);
  const struct {
    const char* fault;
    std::size_t capacity;
    bool close_fails;
    bool succeeds;
  } cases[] = {
      {"none", text.size(), false, true},
      {"short write of the first chunk", 1000, false, false},
      {"short write in the middle", OUTPUT_BUFFER_BYTES + 7, false, false},
      {"short write of the last byte", text.size() - 1, false, false},
      {"failed close", text.size(), true, false},
  };
  for (const auto& c : cases) {
    for (const auto& w : WRITINGS) {
      SCOPED_TRACE(std::string(c.fault) + ", " + w.name);
      FaultyDevice device{c.capacity, c.close_fails, {}};
      std::FILE* file = open_faulty(device);
      ASSERT_NE(file, nullptr);
      OutputStream output(file, w.writing);
      // Written in pieces, as a run does: the first failure may show at a
      // later piece or only at the close.
      bool all_written = true;
      for (std::size_t at = 0; at < text.size(); at += 100000)
        all_written = output.write(std::string_view(text).substr(at, 100000)) && all_written;
      const bool closed = output.close();
      EXPECT_EQ(all_written && closed, c.succeeds);
      EXPECT_EQ(closed, c.succeeds);
      // What the reason line on standard error is made of.
      EXPECT_EQ(output.failed_at_close(), c.close_fails);
      EXPECT_EQ(output.error() != 0, !c.succeeds);
      EXPECT_TRUE(text.starts_with(device.taken));
      if (c.succeeds) {
        EXPECT_EQ(device.taken.size(), text.size());
      }
    }
  }
}

}  // namespace
}  // namespace quarlex
