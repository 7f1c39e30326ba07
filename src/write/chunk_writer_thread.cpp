#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/processor_load.h"
#include "write/chunk_writer.h"

namespace quarlex {
namespace {

// Chunks in flight: the one being composed, the rest waiting or being
// written. Enough that the writer always has a chunk to take while the
// composer fills another, few enough that all of them stay in the cache
// of the processors that share them.
constexpr std::size_t CHUNK_BUFFERS = 4;

// A composing thread that has run out of buffers sleeps until this many
// are free again, and then composes them without a pause; a writer thread
// that has run out of chunks sleeps until this many wait for it. Each
// wake-up costs the waker a system call and the sleeper's processor an
// interrupt, so waking per chunk costs more than it spares; watching the
// other thread's progress instead keeps a processor busy doing nothing
// (docs/performance.md).
constexpr std::size_t REFILL_BUFFERS = CHUNK_BUFFERS / 2;

// Apart by this much, two counters that the two threads change do not
// share a cache line, so that neither thread's stores move the line the
// other one reads.
constexpr std::size_t CACHE_LINE_BYTES = 64;

// The first chunks of each probe are not timed: written at once, the first
// waits for the writer to finish what was handed over before; handed
// over, the first fill the buffers without waiting for the writer.
constexpr std::size_t UNTIMED_CHUNKS = CHUNK_BUFFERS;
static_assert(UNTIMED_CHUNKS < PROBE_CHUNKS);

// No chunk has this number.
constexpr std::size_t NO_CHUNK = SIZE_MAX;

// A hand-over runs on the composing thread and one writer thread.
constexpr int COMPOSING_THREADS = 1;
constexpr int WRITER_THREADS = 1;
constexpr int HAND_OVER_THREADS = COMPOSING_THREADS + WRITER_THREADS;

// Writing the text into the page cache costs the kernel more time than
// reading and composing it costs us; on a processor of its own the writing
// can overlap the composing. Whether that pays depends on the machine:
// where composing is a small share of the time, or where the two
// processors slow each other (a shared core, caches, the hand-overs'
// wake-ups), a second thread only adds processor time. So the run
// measures both ways on itself and takes the one that paid. Where no
// processor is free (every core busy in a parallel build) a second thread
// only adds hand-overs: the chunks are then written at once, as by the
// direct writer.
class BackgroundChunkWriter final : public ChunkWriter {
 public:
  BackgroundChunkWriter(OutputSink& sink, HandOver hand_over, RunGauges& gauges)
      : sink_(sink), hand_over_(hand_over), gauges_(gauges) {
    for (auto& buffer : buffers_) buffer = new_chunk_buffer();
  }

  ~BackgroundChunkWriter() override { finish(); }

  BackgroundChunkWriter(const BackgroundChunkWriter&) = delete;
  BackgroundChunkWriter& operator=(const BackgroundChunkWriter&) = delete;

  char* first_buffer() override { return buffers_[0].get(); }

  bool hands_over_next() override {
    if (!next_decided_) next_handed_over_ = hands_over();
    next_decided_ = true;
    return next_handed_over_;
  }

  char* write(char* chunk, std::size_t size) override {
    if (error_.get() != 0) return nullptr;
    const bool handed_over = hands_over_next();
    next_decided_ = false;
    // Only this thread changes handed_, so its own count is current.
    const std::size_t slot = handed_.load(std::memory_order_relaxed);
    if (!handed_over) {
      // The writer must be done with what it has, so that the file keeps
      // the chunks' order; the same buffer is composed in again.
      wait_until_all_written(slot);
      if (error_.get() == 0) error_.keep(sink_.write(chunk, size));
      return error_.get() != 0 ? nullptr : chunk;
    }
    // The chunk is stored before it is counted: the writer reads it once
    // it sees the count.
    pending_[slot % CHUNK_BUFFERS] = {chunk, size};
    handed_.store(slot + 1);
    if (writer_sleeping_.load() && slot + 1 - written_.load() >= REFILL_BUFFERS) wake_writer();
    const std::size_t next = slot + 1;
    if (next - written_.load() >= CHUNK_BUFFERS) wait_for_free([&] { return refilled(next); });
    return error_.get() != 0 ? nullptr : buffers_[next % CHUNK_BUFFERS].get();
  }

  bool finish() override {
    if (thread_.joinable()) {
      {
        const std::lock_guard lock(mutex_);
        stopping_.store(true);
        writer_wake_.notify_one();
      }
      thread_.join();
    }
    return error_.get() == 0;
  }

  int error() const override { return error_.get(); }

 private:
  struct Chunk {
    const char* text;
    std::size_t size;
  };

  // Whether the chunk being composed goes to the writer thread, which is
  // started the first time one does; called once per chunk, in order,
  // before it is written (see hands_over_next).
  bool hands_over() {
    if (hand_over_ == HandOver::Always) return start_writer();
    const std::size_t chunk = chunk_in_stretch_;
    chunk_in_stretch_ = (chunk + 1) % STRETCH_CHUNKS;
    if (chunk == 0) {
      // Chunks written at once first: measured as the way to beat.
      handing_over_ = false;
    } else if (chunk == UNTIMED_CHUNKS) {
      mark_ = now();
    } else if (chunk == PROBE_CHUNKS) {
      one_thread_ = since_mark(PROBE_CHUNKS - UNTIMED_CHUNKS);
      handing_over_ = gauges_.processor_free(COMPOSING_THREADS) && start_writer();
      probing_overlap_ = handing_over_;
    } else if (chunk == PROBE_CHUNKS + UNTIMED_CHUNKS && probing_overlap_) {
      // This chunk, handed over next, is where the writer starts the clock.
      overlap_mark_chunk_.store(handed_.load(std::memory_order_relaxed));
    } else if (chunk == 2 * PROBE_CHUNKS && probing_overlap_) {
      // Timed from the first timed chunk up to the last handed over: the
      // writer's pace is the pace of the overlap.
      probing_overlap_ = false;
      const std::size_t handed = handed_.load(std::memory_order_relaxed);
      wait_until_all_written(handed);
      mark_ = overlap_mark_;
      handing_over_ = overlap_pays(one_thread_, since_mark(handed - overlap_mark_chunk_.load()));
    } else if (handing_over_ && !probing_overlap_ && chunk % LOAD_CHECK_CHUNKS == 0) {
      // Of the machine's ready tasks, these are this run's own: the
      // composing thread and the writer.
      handing_over_ = gauges_.processor_free(HAND_OVER_THREADS);
    }
    return handing_over_;
  }

  StretchCost now() { return {gauges_.wall_ns(), gauges_.cpu_ns(), 0}; }
  // The cost of `chunks` chunks since the mark, which moves to now.
  StretchCost since_mark(std::size_t chunks) {
    const StretchCost end = now();
    const StretchCost cost = {end.wall_ns - mark_.wall_ns, end.cpu_ns - mark_.cpu_ns, chunks};
    mark_ = end;
    return cost;
  }

  bool start_writer() {
    if (thread_.joinable() || thread_failed_) return !thread_failed_;
    try {
      thread_ = std::thread([this] { write_handed_chunks(); });
    } catch (const std::system_error&) {
      // No thread to be had: the chunks are still written, only not alongside.
      thread_failed_ = true;
    }
    return !thread_failed_;
  }

  // Whether REFILL_BUFFERS buffers are free from chunk `next` on, or all
  // are: the composing thread goes on then, or stops at a failure.
  bool refilled(std::size_t next) const {
    const std::size_t written = written_.load();
    return next + REFILL_BUFFERS <= written + CHUNK_BUFFERS || written == next || error_.get() != 0;
  }

  void wake_writer() {
    // Taking the lock makes sure the sleeper is in wait(), not between its
    // last check and wait(), when the call comes.
    const std::lock_guard lock(mutex_);
    writer_wake_.notify_one();
  }

  // Waits until the writer has written the `handed` chunks handed over,
  // however few of them wait.
  void wait_until_all_written(std::size_t handed) {
    if (written_.load() == handed) return;
    // Set before the writer is looked at: the writer, which sets
    // writer_sleeping_ before it looks at this, sees the hurry, or this
    // check sees it asleep.
    hurry_.store(true);
    if (writer_sleeping_.load()) wake_writer();
    wait_for_free([&] { return written_.load() == handed; });
    hurry_.store(false);
  }

  template <typename Condition>
  void wait_for_free(Condition free) {
    if (free()) return;
    std::unique_lock lock(mutex_);
    // Set before `free` is looked at again: the writer, which counts a
    // chunk before it looks at this, sees the sleeper, or this check sees
    // the count.
    composer_sleeping_.store(true);
    composer_wake_.wait(lock, free);
    composer_sleeping_.store(false);
  }

  void write_handed_chunks() {
    for (std::size_t done = 0;; ++done) {
      if (handed_.load() == done) {
        std::unique_lock lock(mutex_);
        writer_sleeping_.store(true);
        // Woken once REFILL_BUFFERS chunks wait, it writes them without a
        // pause, as the composing thread composes.
        writer_wake_.wait(lock, [&] {
          const std::size_t waiting = handed_.load() - done;
          return waiting >= REFILL_BUFFERS || (waiting > 0 && hurry_.load()) || stopping_.load();
        });
        writer_sleeping_.store(false);
        if (handed_.load() == done) return;
      }
      const Chunk chunk = pending_[done % CHUNK_BUFFERS];
      // The writer reads the clocks itself, between two of its writes: read
      // by the composing thread while a write goes on, a chunk's cost could
      // fall after the mark and the chunk itself before it.
      if (done == overlap_mark_chunk_.load()) overlap_mark_ = now();
      // After a failed write nothing more goes out, so that the file never
      // holds text from behind a gap.
      if (error_.get() == 0) error_.keep(sink_.write(chunk.text, chunk.size));
      written_.store(done + 1);
      if (composer_sleeping_.load() && refilled(handed_.load())) {
        const std::lock_guard lock(mutex_);
        composer_wake_.notify_one();
      }
    }
  }

  OutputSink& sink_;
  const HandOver hand_over_;
  std::array<ChunkBuffer, CHUNK_BUFFERS> buffers_;
  // Each entry is the composing thread's until handed_ counts it, then the
  // writer's until written_ does.
  std::array<Chunk, CHUNK_BUFFERS> pending_{};
  std::mutex mutex_;
  std::condition_variable composer_wake_;
  std::condition_variable writer_wake_;
  alignas(CACHE_LINE_BYTES) std::atomic<std::size_t> handed_{0};   // chunks handed over so far
  alignas(CACHE_LINE_BYTES) std::atomic<std::size_t> written_{0};  // of those, written or given up
  std::atomic<bool> composer_sleeping_{false};
  std::atomic<bool> writer_sleeping_{false};
  std::atomic<bool> hurry_{false};  // the composing thread waits for every chunk to be written
  std::atomic<bool> stopping_{false};
  // The chunk at which the overlap's probe starts its clocks, and what they
  // showed then: set by the writer before it counts that chunk written.
  std::atomic<std::size_t> overlap_mark_chunk_{NO_CHUNK};
  StretchCost overlap_mark_{};
  FirstError error_;
  RunGauges& gauges_;
  // The composing thread's own.
  bool next_decided_ = false;
  bool next_handed_over_ = false;
  std::size_t chunk_in_stretch_ = 0;
  bool handing_over_ = false;
  bool probing_overlap_ = false;
  StretchCost mark_{};
  StretchCost one_thread_{};
  bool thread_failed_ = false;
  std::thread thread_;
};

class SystemGauges final : public RunGauges {
 public:
  bool processor_free(int own_ready) override {
    return processors_free_for(HAND_OVER_THREADS, own_ready);
  }
  std::uint64_t wall_ns() override {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
  }
  std::uint64_t cpu_ns() override { return process_cpu_ns(); }
};

}  // namespace

RunGauges& this_run_gauges() {
  static SystemGauges gauges;
  return gauges;
}

std::unique_ptr<ChunkWriter> make_background_chunk_writer(OutputSink& sink, HandOver hand_over,
                                                          RunGauges& gauges) {
  return std::make_unique<BackgroundChunkWriter>(sink, hand_over, gauges);
}

}  // namespace quarlex
