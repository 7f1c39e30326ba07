#include "write/chunk_writer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

namespace quarlex {
namespace {

TEST(OverlapPays, OnlyWhenItSavesAsMuchWallTimeAsItAddsProcessorTime) {
  constexpr std::uint64_t MS = 1'000'000;
  const struct {
    const char* what;
    StretchCost one_thread, overlapped;
    bool pays;
  } cases[] = {
      {"faster, no more processor time", {100 * MS, 100 * MS, 10}, {60 * MS, 100 * MS, 10}, true},
      {"saves as much as it adds", {100 * MS, 100 * MS, 10}, {60 * MS, 140 * MS, 10}, true},
      {"adds a little more than it saves",
       {100 * MS, 100 * MS, 10},
       {60 * MS, 141 * MS, 10},
       false},
      {"faster, twice the processor time",
       {100 * MS, 100 * MS, 10},
       {90 * MS, 200 * MS, 10},
       false},
      {"as fast", {100 * MS, 100 * MS, 10}, {100 * MS, 100 * MS, 10}, false},
      {"slower, less processor time", {100 * MS, 100 * MS, 10}, {101 * MS, 90 * MS, 10}, false},
      // Per chunk: the same times over twice the chunks are twice as fast.
      {"same times, twice the chunks", {100 * MS, 100 * MS, 10}, {100 * MS, 100 * MS, 20}, true},
      {"faster per chunk over fewer chunks", {100 * MS, 100 * MS, 10}, {54 * MS, 55 * MS, 6}, true},
      {"slower per chunk over fewer chunks",
       {100 * MS, 100 * MS, 10},
       {61 * MS, 55 * MS, 6},
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(overlap_pays(c.one_thread, c.overlapped), c.pays);
  }
}

// What a chunk costs, written at once or handed over, as the gauges show it.
struct ChunkCost {
  std::uint64_t at_once_wall, at_once_cpu, handed_wall, handed_cpu;
};
constexpr ChunkCost PAYS = {100, 100, 60, 110};
constexpr ChunkCost COSTS_PROCESSOR_TIME = {100, 100, 60, 160};
constexpr ChunkCost SAVES_NO_TIME = {100, 100, 100, 100};

// A sink that keeps what it is given and counts the chunks written in the
// test's own thread and in any other; and gauges whose clocks move by
// those counts, at the costs the test sets. So the writer sees its own
// way of writing as costing what the test says, with no clock to wait on.
class CountingSink final : public OutputSink, public RunGauges {
 public:
  std::atomic<bool> free{true};
  std::atomic<std::size_t> at_once{0}, handed{0};
  std::atomic<const ChunkCost*> cost{&PAYS};
  std::string taken;  // written by one thread at a time, in the chunks' order

  int write(const char* text, std::size_t size) override {
    taken.append(text, size);
    const ChunkCost& c = *cost.load();
    if (std::this_thread::get_id() == test_thread_) {
      wall_ += c.at_once_wall;
      cpu_ += c.at_once_cpu;
      ++at_once;
    } else {
      wall_ += c.handed_wall;
      cpu_ += c.handed_cpu;
      ++handed;
    }
    return 0;
  }
  bool into_file() const override { return true; }
  int close() override { return 0; }

  bool processor_free(int) override { return free.load(); }
  std::uint64_t wall_ns() override { return wall_.load(); }
  std::uint64_t cpu_ns() override { return cpu_.load(); }

 private:
  const std::thread::id test_thread_ = std::this_thread::get_id();
  std::atomic<std::uint64_t> wall_{0}, cpu_{0};
};

// The text of chunk `i`: each different, so that order and loss show.
std::string chunk_text(std::size_t i) { return "chunk " + std::to_string(i) + ";"; }

// Writes `chunks` chunks through a writer that decides by `sink`'s gauges;
// `before` runs before each chunk with its number.
template <typename Before>
void write_chunks(CountingSink& sink, std::size_t chunks, Before before) {
  const auto writer = make_background_chunk_writer(sink, HandOver::WhileItPays, sink);
  char* buffer = writer->first_buffer();
  std::string expected;
  for (std::size_t i = 0; i < chunks; ++i) {
    before(i);
    const std::string text = chunk_text(i);
    std::memcpy(buffer, text.data(), text.size());
    expected += text;
    buffer = writer->write(buffer, text.size());
    ASSERT_NE(buffer, nullptr);
  }
  EXPECT_TRUE(writer->finish());
  // Every way of writing leaves the very same bytes.
  EXPECT_EQ(sink.taken, expected);
}

// Each stretch starts with PROBE_CHUNKS at once and PROBE_CHUNKS handed
// over; the rest goes as they decide.
TEST(BackgroundChunkWriter, HandsOverOnlyWhatTheRunMeasuresToPay) {
  constexpr std::size_t STRETCHES = 2;
  constexpr std::size_t CHUNKS = STRETCHES * STRETCH_CHUNKS;
  constexpr std::size_t REST = STRETCH_CHUNKS - 2 * PROBE_CHUNKS;
  const struct {
    const char* what;
    const ChunkCost* cost;
    bool free;
    std::size_t handed;
  } cases[] = {
      {"a writer thread pays", &PAYS, true, STRETCHES * (PROBE_CHUNKS + REST)},
      {"it costs too much processor time", &COSTS_PROCESSOR_TIME, true, STRETCHES * PROBE_CHUNKS},
      {"it saves no time", &SAVES_NO_TIME, true, STRETCHES * PROBE_CHUNKS},
      {"no processor is free", &PAYS, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CountingSink sink;
    sink.cost = c.cost;
    sink.free = c.free;
    write_chunks(sink, CHUNKS, [](std::size_t) {});
    EXPECT_EQ(sink.handed.load(), c.handed);
    EXPECT_EQ(sink.at_once.load() + sink.handed.load(), CHUNKS);
  }
}

// The decision is made again as the run goes on: a machine that gets busy
// or idle, or a writer thread that stops paying, changes the way.
TEST(BackgroundChunkWriter, DecidesAgainAsTheRunGoesOn) {
  constexpr std::size_t REST = STRETCH_CHUNKS - 2 * PROBE_CHUNKS;
  // In the first stretch, after the probes, the processor is taken at
  // `taken_at`: handed over until the next load check.
  constexpr std::size_t TAKEN_AT = 2 * PROBE_CHUNKS + 1;
  constexpr std::size_t NEXT_CHECK = (TAKEN_AT / LOAD_CHECK_CHUNKS + 1) * LOAD_CHECK_CHUNKS;
  {
    SCOPED_TRACE("the processor is taken, then free again");
    CountingSink sink;
    write_chunks(sink, 3 * STRETCH_CHUNKS,
                 [&](std::size_t i) { sink.free = i < TAKEN_AT || i >= 2 * STRETCH_CHUNKS; });
    EXPECT_EQ(sink.handed.load(), (NEXT_CHECK - PROBE_CHUNKS) + 0 + (PROBE_CHUNKS + REST));
  }
  {
    SCOPED_TRACE("the writer thread stops paying, then pays again");
    CountingSink sink;
    write_chunks(sink, 3 * STRETCH_CHUNKS, [&](std::size_t i) {
      const bool costly = i >= STRETCH_CHUNKS && i < 2 * STRETCH_CHUNKS;
      sink.cost = costly ? &COSTS_PROCESSOR_TIME : &PAYS;
    });
    EXPECT_EQ(sink.handed.load(), (PROBE_CHUNKS + REST) + PROBE_CHUNKS + (PROBE_CHUNKS + REST));
  }
}

// A run shorter than the probes writes everything at once, and whole.
TEST(BackgroundChunkWriter, ShortRunsAreWrittenAtOnce) {
  for (const std::size_t chunks : {std::size_t{0}, std::size_t{1}, PROBE_CHUNKS}) {
    SCOPED_TRACE(chunks);
    CountingSink sink;
    write_chunks(sink, chunks, [](std::size_t) {});
    EXPECT_EQ(sink.handed.load(), 0u);
  }
}

}  // namespace
}  // namespace quarlex
