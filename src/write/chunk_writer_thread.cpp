#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "write/chunk_writer.h"

namespace quarlex {
namespace {

// Chunks in flight: one being composed, the rest waiting or being written.
constexpr std::size_t CHUNK_BUFFERS = 4;

// How long a thread that waits for the other one keeps checking before it
// goes to sleep. Waking a sleeping thread costs the waker a system call and
// the other core an interrupt, once per chunk on the writing thread's side;
// watching avoids that where both threads keep pace. It is a few times what
// a chunk takes to write into the page cache, so in a steady run a wait ends
// within it, and no longer: while the scheduler keeps both threads on one
// core the other thread cannot go on until the waiter stops watching; see
// write() for what the composing thread does then. (Measured costs: bench/.)
constexpr auto SPIN_BEFORE_SLEEP = std::chrono::microseconds(60);

// Once the writer has been found waiting for a chunk, the next this many
// (16 MiB of text) count as short of chunks. Composing is then the slower
// side, and tends to stay so for a while: composing into lines that the
// other core has just read can cost many times what composing into this
// core's own cache does, in spells that outlast many chunks.
constexpr std::size_t SHORT_SPELL_CHUNKS = 64;

// Where one thread waits for what the other does: first by watching, then,
// if that takes long, asleep.
class HandOver {
 public:
  // Returns once `done()` holds. `done` reads only atomics that the other
  // thread changes before it calls changed().
  template <typename Condition>
  void wait_until(Condition done) {
    if (!watch_for(done)) sleep_until(done);
  }

  // Returns whether `done()` came to hold within SPIN_BEFORE_SLEEP.
  template <typename Condition>
  bool watch_for(Condition done) {
    const auto give_up = std::chrono::steady_clock::now() + SPIN_BEFORE_SLEEP;
    while (!done())
      if (std::chrono::steady_clock::now() >= give_up) return false;
    return true;
  }

  template <typename Condition>
  void sleep_until(Condition done) {
    std::unique_lock lock(mutex_);
    // Counted before done() is looked at again: whoever changes what it
    // reads afterwards sees the sleeper, or this check sees the change.
    sleepers_.fetch_add(1);
    wake_up_.wait(lock, done);
    sleepers_.fetch_sub(1);
  }

  // Call after changing what the other thread may wait for.
  void changed() {
    if (sleepers_.load() == 0) return;
    // Taking the lock makes sure the sleeper is in wait(), not between its
    // last check and wait(), when the call comes.
    { const std::lock_guard lock(mutex_); }
    wake_up_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_up_;
  std::atomic<int> sleepers_{0};
};

// Writing the text into the page cache costs the kernel more time than
// reading and composing it costs us; on a second core the two overlap.
class BackgroundChunkWriter final : public ChunkWriter {
 public:
  explicit BackgroundChunkWriter(std::FILE* file) : file_(file) {
    for (auto& buffer : buffers_)
      buffer = std::make_unique_for_overwrite<char[]>(CHUNK_BUFFER_BYTES);
    thread_ = std::thread([this] { write_handed_chunks(); });
  }

  ~BackgroundChunkWriter() override { finish(); }

  BackgroundChunkWriter(const BackgroundChunkWriter&) = delete;
  BackgroundChunkWriter& operator=(const BackgroundChunkWriter&) = delete;

  char* first_buffer() override { return buffers_[0].get(); }

  char* write(char* chunk, std::size_t size) override {
    if (error_ != 0) return nullptr;
    // Only this thread changes handed_, so its own count is current.
    const std::size_t slot = handed_;
    pending_[slot % CHUNK_BUFFERS] = {chunk, size};
    const std::size_t handed = slot + 1;
    handed_ = handed;
    hand_over_.changed();
    // The next buffer in turn is free once the chunk it held is written.
    const auto buffer_free = [&] { return handed - written_ < CHUNK_BUFFERS || error_ != 0; };
    if (!hand_over_.watch_for(buffer_free)) {
      // The writing thread has not finished a chunk in all that time: the
      // disk is slow, or the scheduler has put both threads on one core,
      // where the writing thread cannot go on while this one watches (some
      // schedulers do that for the first milliseconds of a run); writing the
      // chunk in this thread then saves two thread switches per chunk.
      if (write_lock_.try_lock()) {
        write_next_chunk();
        write_lock_.unlock();
      }
      hand_over_.sleep_until(buffer_free);
    }
    if (error_ != 0) return nullptr;
    return buffers_[handed % CHUNK_BUFFERS].get();
  }

  bool short_of_chunks() override {
    // Waits while the buffers are first used say nothing: the first chunk
    // comes late, and every page of a fresh buffer costs the composer a fault.
    const std::size_t handed = handed_;
    if (handed == written_ && handed > CHUNK_BUFFERS) short_until_ = handed + SHORT_SPELL_CHUNKS;
    return handed < short_until_;
  }

  bool finish() override {
    if (thread_.joinable()) {
      stopping_ = true;
      hand_over_.changed();
      thread_.join();
    }
    return error_ == 0;
  }

  int error() const override { return error_; }

 private:
  struct Chunk {
    const char* text;
    std::size_t size;
  };

  void write_handed_chunks() {
    for (;;) {
      hand_over_.wait_until([&] { return written_ < handed_ || stopping_; });
      const std::lock_guard lock(write_lock_);
      if (!write_next_chunk() && stopping_) return;
    }
  }

  // Writes the oldest chunk not yet written, if there is one. REQUIRES:
  // write_lock_ is held, which keeps the chunks in order.
  bool write_next_chunk() {
    const std::size_t next = written_;
    if (next == handed_) return false;
    const Chunk chunk = pending_[next % CHUNK_BUFFERS];
    // After a failed write nothing more goes out, so that the file never
    // holds text from behind a gap.
    if (error_ == 0) error_ = write_whole(file_, chunk.text, chunk.size);
    written_ = next + 1;
    hand_over_.changed();
    return true;
  }

  std::FILE* file_;
  std::array<std::unique_ptr<char[]>, CHUNK_BUFFERS> buffers_;
  // Each entry is the composing thread's until handed_ counts it, then the
  // writer's, whoever holds write_lock_, until written_ does.
  std::array<Chunk, CHUNK_BUFFERS> pending_{};
  HandOver hand_over_;
  std::mutex write_lock_;
  // Apart, so that each thread's stores do not move the line the other one
  // is watching.
  alignas(64) std::atomic<std::size_t> handed_{0};   // chunks handed over so far
  alignas(64) std::atomic<std::size_t> written_{0};  // of those, written or given up
  std::atomic<int> error_{0};                        // of the failed write; 0 while none has failed
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  std::size_t short_until_ = 0;  // touched only by the composing thread
};

}  // namespace

std::unique_ptr<ChunkWriter> make_background_chunk_writer(std::FILE* file) {
  try {
    return std::make_unique<BackgroundChunkWriter>(file);
  } catch (const std::system_error&) {
    // No thread to be had: the output is still written, only not alongside.
    return make_direct_chunk_writer(file);
  }
}

}  // namespace quarlex
