#include "write/output_stream.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "include_oracle.h"
#include "random_bytes.h"
#include "scratch_folder.h"
#include "text/data_line.h"

namespace quarlex {
namespace {

const struct {
  const char* name;
  ChunkWriting writing;
} WRITINGS[] = {{"at once", ChunkWriting::AtOnce}, {"in background", ChunkWriting::InBackground}};

// An OutputStream writing to `path` in `writing`; nullptr if the file
// cannot be opened.
std::unique_ptr<OutputStream> open_stream(const std::filesystem::path& path, ChunkWriting writing) {
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  return file == -1 ? nullptr : std::make_unique<OutputStream>(descriptor_sink(file), writing);
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

// The stream's file in a test's scratch folder.
constexpr std::string_view STREAM_FILE = "out.txt";

TEST(OutputStream, KeepsPiecesLargerThanItsBufferIntactAndInOrder) {
  std::string big(CHUNK_BYTES * 2 + 7, ' ');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  const std::uint8_t bytes[] = {1, 2, 3};
  for (const auto& w : WRITINGS) {
    SCOPED_TRACE(w.name);
    const support::ScratchFolder folder;
    const auto output = open_stream(folder / STREAM_FILE, w.writing);
    ASSERT_NE(output, nullptr);
    DataLineForm asm_form = DataLineForm::AsmLine;
    DataLineForm next_form = DataLineForm::CNextLine;
    EXPECT_TRUE(output->write("head\r\n"));
    EXPECT_TRUE(append_data_lines(*output, bytes, 3, asm_form));
    EXPECT_TRUE(output->write(big));
    EXPECT_TRUE(append_data_lines(*output, bytes, 2, next_form));
    EXPECT_TRUE(output->write("tail"));
    EXPECT_TRUE(output->close());

    EXPECT_TRUE(same_text(support::read_file(folder / STREAM_FILE),
                          "head\r\nDB 1,2,3\r\n" + big + ",1,2\r\ntail"));
  }
}

// Every length at and around whole chunks reaches the file whole: the last
// flush may hold one byte, or none, or a whole chunk and one more.
TEST(OutputStream, LengthsAroundWholeChunksAreWrittenWhole) {
  constexpr std::uint32_t SEED = 11;
  const std::string text = support::random_bytes(3 * CHUNK_BYTES + 2, SEED);
  for (const std::size_t chunks : {0u, 1u, 2u}) {
    for (const int offset : {-2, -1, 0, 1, 2}) {
      const auto length =
          static_cast<std::size_t>(static_cast<std::ptrdiff_t>(chunks * CHUNK_BYTES) + offset);
      if (chunks == 0 && offset < 0) continue;
      const std::string_view whole = std::string_view(text).substr(0, length);
      for (const auto& w : WRITINGS) {
        SCOPED_TRACE(std::to_string(length) + " bytes, " + w.name);
        const support::ScratchFolder folder;
        const auto output = open_stream(folder / STREAM_FILE, w.writing);
        ASSERT_NE(output, nullptr);
        // In pieces of odd sizes, as a run's lines come, so that chunk
        // ends fall inside pieces.
        for (std::size_t at = 0; at < length; at += 4093)
          EXPECT_TRUE(output->write(whole.substr(at, 4093)));
        EXPECT_TRUE(output->close());
        EXPECT_TRUE(same_text(support::read_file(folder / STREAM_FILE), std::string(whole)));
      }
    }
  }
}

// Writes `lead`, then appends the lines of a million random bytes in
// `form`, whose prefix the oracle writes as `prefix`; the file must hold
// exactly that, in each writing mode.
void expect_lines_kept_whole(const std::string& lead, DataLineForm form, std::string_view prefix) {
  constexpr std::size_t SIZE = 1'000'003;
  constexpr std::uint32_t SEED = 7;
  const std::string bytes = support::random_bytes(SIZE, SEED);
  std::string expected = lead;
  for (std::size_t at = 0; at < SIZE; at += LINE_BYTES)
    expected += oracle::data_line(prefix, std::string_view(bytes).substr(at, LINE_BYTES));
  for (const auto& w : WRITINGS) {
    SCOPED_TRACE(w.name);
    const support::ScratchFolder folder;
    const auto output = open_stream(folder / STREAM_FILE, w.writing);
    ASSERT_NE(output, nullptr);
    EXPECT_TRUE(output->write(lead));
    DataLineForm next_form = form;
    EXPECT_TRUE(append_data_lines(*output, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                  SIZE, next_form));
    EXPECT_TRUE(output->close());
    EXPECT_TRUE(same_text(support::read_file(folder / STREAM_FILE), expected));
  }
}

// Lines composed in place run over the end of a chunk and start the next;
// a million bytes make about a dozen chunks, each with a different overhang.
TEST(OutputStream, LinesAcrossChunkEndsAreKeptWhole) {
  // One byte ahead, every chunk end falls one byte later.
  expect_lines_kept_whole("x", DataLineForm::AsmLine, "DB ");
  expect_lines_kept_whole(std::string(8 * CHUNK_BYTES + 5, 'f'), DataLineForm::CNextLine, ",");
}

// A sink whose writes wait at a gate until the test opens it, and that
// notes, at every write, how far the composing side had got: so that a
// test can hold the writer thread and see what the composing thread does.
struct GatedSink final : OutputSink {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  std::size_t writes_started = 0;
  std::size_t chunks_submitted = 0;  // by the composing side, after each write() returns
  std::size_t most_ahead = 0;        // chunks submitted but not yet written, at most
  std::string taken;

  int write(const char* text, std::size_t size) override {
    std::unique_lock lock(mutex);
    const std::size_t written_before = writes_started++;
    changed.notify_all();
    changed.wait(lock, [&] { return open; });
    if (chunks_submitted > written_before)
      most_ahead = std::max(most_ahead, chunks_submitted - written_before);
    taken.append(text, size);
    changed.notify_all();
    return 0;
  }
  bool into_file() const override { return true; }
  int close() override { return 0; }
};

// Hands a stream `sink` and keeps the sink for the test to look at.
struct SinkStream {
  template <typename Sink>
  explicit SinkStream(Sink*& sink, ChunkWriting writing) {
    auto owned = std::make_unique<Sink>();
    sink = owned.get();
    stream = std::make_unique<OutputStream>(std::move(owned), writing);
  }
  std::unique_ptr<OutputStream> stream;
};

std::string chunk_of(int i) { return std::string(CHUNK_BYTES, static_cast<char>('a' + i)); }

TEST(OutputStream, TheComposingThreadWaitsForAFreeBuffer) {
  constexpr int CHUNKS = 12;
  GatedSink* sink = nullptr;
  SinkStream held(sink, ChunkWriting::InBackground);
  GatedSink& device = *sink;
  OutputStream& output = *held.stream;
  std::thread composer([&] {
    for (int i = 0; i < CHUNKS; ++i) {
      EXPECT_TRUE(output.write(chunk_of(i)));
      const std::lock_guard lock(device.mutex);
      ++device.chunks_submitted;
      device.changed.notify_all();
    }
    EXPECT_TRUE(output.close());
  });
  {
    // The writer holds chunk 0; three more buffers take chunks 1 to 3. The
    // write of chunk 4 hands over chunk 3... and must wait.
    std::unique_lock lock(device.mutex);
    device.changed.wait(lock,
                        [&] { return device.writes_started == 1 && device.chunks_submitted >= 3; });
    device.open = true;
    device.changed.notify_all();
  }
  composer.join();
  std::string expected;
  for (int i = 0; i < CHUNKS; ++i) expected += chunk_of(i);
  EXPECT_TRUE(same_text(device.taken, expected));
  EXPECT_LE(device.most_ahead, 4u);
}

// The writer thread, once it has nothing to write, sleeps until two chunks
// wait for it: so once chunk i is handed over, every chunk before it must
// come to be written, and the last one, which may wait alone, is written
// at the close.
TEST(OutputStream, TheWriterThreadIsWokenOnceTwoChunksWait) {
  constexpr std::size_t CHUNKS = 6;
  GatedSink* sink = nullptr;
  SinkStream held(sink, ChunkWriting::InBackground);
  GatedSink& device = *sink;
  device.open = true;
  OutputStream& output = *held.stream;
  std::string expected;
  for (std::size_t i = 0; i < CHUNKS; ++i) {
    EXPECT_TRUE(output.write(chunk_of(static_cast<int>(i))));
    expected += chunk_of(static_cast<int>(i));
    std::unique_lock lock(device.mutex);
    device.changed.wait(lock, [&] { return device.taken.size() >= i * CHUNK_BYTES; });
  }
  EXPECT_TRUE(output.write("end"));
  EXPECT_TRUE(output.close());
  EXPECT_TRUE(same_text(device.taken, expected + "end"));
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
    const std::string chunk(CHUNK_BYTES, 'x');
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

// A sink that takes only so many bytes, may fail one write and take the
// next ones again, and whose close may fail: faults no real disk produces
// at will. A write past the limit is short, which fails it.
struct FaultySink final : OutputSink {
  std::size_t capacity = 0;
  bool close_fails = false;
  std::size_t failing_write = 0;  // counted from 1; 0 for none
  std::string taken;
  std::size_t writes = 0;

  int write(const char* text, std::size_t size) override {
    if (++writes == failing_write) return EIO;
    const std::size_t take = std::min(size, capacity - taken.size());
    taken.append(text, take);
    return take == size ? 0 : ENOSPC;
  }
  bool into_file() const override { return true; }
  int close() override { return close_fails ? EIO : 0; }
};

// Every short write and a failed close must make the stream report failure,
// however far the text had got; what was taken is the text's beginning.
TEST(OutputStream, ShortWritesAndFailedClosesAreReported) {
  std::string text(3 * CHUNK_BYTES + 1000, ' ');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 23);
  const struct {
    const char* fault;
    std::size_t capacity;
    bool close_fails;
    std::size_t failing_write;
    bool succeeds;
  } cases[] = {
      {"none", text.size(), false, 0, true},
      {"short write of the first chunk", 1000, false, 0, false},
      {"short write in the middle", CHUNK_BYTES + 7, false, 0, false},
      {"short write of the last byte", text.size() - 1, false, 0, false},
      {"failed close", text.size(), true, 0, false},
      // Later writes would succeed: the first failure must still count.
      {"one failed write, the rest fine", text.size(), false, 2, false},
  };
  for (const auto& c : cases) {
    for (const auto& w : WRITINGS) {
      SCOPED_TRACE(std::string(c.fault) + ", " + w.name);
      FaultySink* sink = nullptr;
      SinkStream held(sink, w.writing);
      FaultySink& device = *sink;
      device.capacity = c.capacity;
      device.close_fails = c.close_fails;
      device.failing_write = c.failing_write;
      OutputStream& output = *held.stream;
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
      // Nothing after a failure: the file never holds text behind a gap.
      if (c.failing_write != 0) {
        EXPECT_EQ(device.taken.size(), CHUNK_BYTES * (c.failing_write - 1));
      }
      if (c.succeeds) {
        EXPECT_EQ(device.taken.size(), text.size());
      }
    }
  }
}

// A chunk writer that writes every chunk at once but says, chunk by chunk
// as `handed` has it (repeated), whether it goes to another thread: so that
// the stream stages exactly those chunks and composes the rest in place.
class ScriptedWriter final : public ChunkWriter {
 public:
  ScriptedWriter(OutputSink& sink, std::vector<bool> handed)
      : direct_(make_direct_chunk_writer(sink)), handed_(std::move(handed)) {}
  char* first_buffer() override { return direct_->first_buffer(); }
  char* write(char* chunk, std::size_t size) override {
    ++chunks_;
    return direct_->write(chunk, size);
  }
  bool hands_over_next() override { return handed_[chunks_ % handed_.size()]; }
  bool finish() override { return direct_->finish(); }
  int error() const override { return direct_->error(); }

 private:
  std::unique_ptr<ChunkWriter> direct_;
  std::vector<bool> handed_;
  std::size_t chunks_ = 0;
};

// A staging copy any processor runs, which holds the stream to what a
// streaming copy needs: whole lines, to the start of a line.
void copy_whole_lines(char* to, const char* from, std::size_t size) {
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(to) % STREAMED_LINE_BYTES, 0u);
  EXPECT_EQ(size % STREAMED_LINE_BYTES, 0u);
  std::memcpy(to, from, size);
}

// Text composed in the stage and text composed in place, chunk after
// chunk in any order, join into the very text one way alone gives.
TEST(OutputStream, StagedChunksAndChunksComposedInPlaceJoinWhole) {
  constexpr std::size_t SIZE = 1'000'003;
  constexpr std::uint32_t SEED = 5;
  const std::string bytes = support::random_bytes(SIZE, SEED);
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::string big(CHUNK_BYTES + 12345, 'b');
  std::string expected = "x";
  for (std::size_t at = 0; at < SIZE; at += LINE_BYTES)
    expected += oracle::data_line("DB ", std::string_view(bytes).substr(at, LINE_BYTES));
  expected += big + "tail";

  std::vector<std::pair<std::string, StreamingCopy>> copies = {{"plain", copy_whole_lines}};
  for (const NamedStreamingCopy& named : streaming_copies())
    copies.emplace_back(named.name, named.copy);
  const std::vector<bool> patterns[] = {{true}, {true, false}, {false, true, true}, {false}};
  for (const auto& [copy_name, copy] : copies) {
    for (const std::vector<bool>& handed : patterns) {
      SCOPED_TRACE(copy_name + ", pattern of " + std::to_string(handed.size()) + " from " +
                   (handed[0] ? "staged" : "in place"));
      auto owned = std::make_unique<FaultySink>();
      FaultySink* const sink = owned.get();
      sink->capacity = SIZE_MAX;
      auto writer = std::make_unique<ScriptedWriter>(*sink, handed);
      OutputStream output(std::move(owned), std::move(writer), copy);
      EXPECT_TRUE(output.write("x"));
      DataLineForm form = DataLineForm::AsmLine;
      EXPECT_TRUE(append_data_lines(output, data, SIZE, form));
      EXPECT_TRUE(output.write(big));
      EXPECT_TRUE(output.write("tail"));
      EXPECT_TRUE(output.close());
      EXPECT_TRUE(same_text(sink->taken, expected));
    }
  }
}

}  // namespace
}  // namespace quarlex
