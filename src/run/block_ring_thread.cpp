#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <system_error>
#include <thread>

#include "run/block_ring.h"

namespace quarlex {
namespace {

// Blocks read ahead at most: enough that the composing thread finds the
// next one read while the helper is woken to read more, few enough that
// they stay in the processors' cache until they are composed, and that
// what is read ahead when the run stops reading ahead is little.
constexpr std::size_t RING_BLOCKS = 8;

// A helper that has filled every buffer sleeps until this many are free
// again: a wake-up costs a system call and an interrupt, so it comes once
// per half ring, not per block.
constexpr std::size_t REFILL_BLOCKS = RING_BLOCKS / 2;

// Apart by this much, the counters that the two threads change do not
// share a cache line.
constexpr std::size_t CACHE_LINE_BYTES = 64;

class ThreadBlockRing final : public BlockRing {
 public:
  explicit ThreadBlockRing(std::FILE* source)
      : source_(source),
        buffers_(std::make_unique_for_overwrite<std::uint8_t[]>(RING_BLOCKS * READ_BLOCK)) {}

  ~ThreadBlockRing() override {
    if (!thread_.joinable()) return;
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
      reader_wake_.notify_one();
    }
    thread_.join();
  }

  ThreadBlockRing(const ThreadBlockRing&) = delete;
  ThreadBlockRing& operator=(const ThreadBlockRing&) = delete;

  bool start() override {
    if (!thread_.joinable()) {
      try {
        thread_ = std::thread([this] { read_ahead(); });
      } catch (const std::system_error&) {
        return false;
      }
    }
    const std::lock_guard lock(mutex_);
    wanted_.store(true);
    reader_wake_.notify_one();
    return true;
  }

  // A read that has begun still ends in a block; next() waits for it.
  void stop() override { wanted_.store(false); }

  const RingBlock* next() override {
    if (holding_) {
      holding_ = false;
      // Counted before the helper's sleep is looked at: the helper, which
      // marks its sleep before it looks at this count, sees the count, or
      // this sees the sleep.
      released_.store(taken_);
      if (reader_sleeping_.load() && taken_ + RING_BLOCKS - filled_.load() >= REFILL_BLOCKS) {
        const std::lock_guard lock(mutex_);
        reader_wake_.notify_one();
      }
    }
    if (filled_.load() == taken_) {
      std::unique_lock lock(mutex_);
      main_sleeping_ = true;
      main_wake_.wait(lock, [&] {
        return filled_.load() != taken_ || ((!wanted_.load() || ended_) && !reading_);
      });
      main_sleeping_ = false;
      if (filled_.load() == taken_) return nullptr;
    }
    taken_block_ = {slot(taken_), reads_[taken_ % RING_BLOCKS]};
    ++taken_;
    holding_ = true;
    return &taken_block_;
  }

 private:
  std::uint8_t* slot(std::size_t block) const {
    return buffers_.get() + block % RING_BLOCKS * READ_BLOCK;
  }

  void read_ahead() {
    std::unique_lock lock(mutex_);
    for (;;) {
      reader_sleeping_.store(true);
      reader_wake_.wait(lock, [&] {
        return stopping_ ||
               (wanted_.load() && !ended_ && filled_.load() - released_.load() < RING_BLOCKS);
      });
      reader_sleeping_.store(false);
      if (stopping_) return;
      const std::size_t block = filled_.load();
      reading_ = true;
      lock.unlock();
      const BlockRead read = read_block(source_, slot(block));
      lock.lock();
      reads_[block % RING_BLOCKS] = read;
      reading_ = false;
      // A short block is the last: after it the source may be closed.
      if (read.size < READ_BLOCK) ended_ = true;
      filled_.store(block + 1);
      if (main_sleeping_) main_wake_.notify_one();
    }
  }

  std::FILE* const source_;
  const std::unique_ptr<std::uint8_t[]> buffers_;
  BlockRead reads_[RING_BLOCKS]{};  // each the helper's until filled_ counts it
  std::mutex mutex_;
  std::condition_variable reader_wake_;
  std::condition_variable main_wake_;
  alignas(CACHE_LINE_BYTES) std::atomic<std::size_t> filled_{0};    // blocks read, ever
  alignas(CACHE_LINE_BYTES) std::atomic<std::size_t> released_{0};  // of those, given back
  std::atomic<bool> reader_sleeping_{false};
  std::atomic<bool> wanted_{false};
  // Under the mutex.
  bool reading_ = false;
  bool ended_ = false;
  bool stopping_ = false;
  bool main_sleeping_ = false;
  // The taking thread's own.
  std::size_t taken_ = 0;
  bool holding_ = false;
  RingBlock taken_block_{};
  std::thread thread_;
};

}  // namespace

std::unique_ptr<BlockRing> make_block_ring(std::FILE* source) {
  return std::make_unique<ThreadBlockRing>(source);
}

}  // namespace quarlex
