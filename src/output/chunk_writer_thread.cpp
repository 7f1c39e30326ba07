#include <array>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "output/chunk_writer.h"

namespace quarlex {
namespace {

// Chunks in flight: one being composed, the rest waiting or being written.
constexpr std::size_t CHUNK_BUFFERS = 4;

// Writing the text into the page cache costs the kernel more time than
// reading and composing it cost us (for 64 MiB of input, about 55 ms
// against 20); on a second core the two overlap.
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
    std::unique_lock lock(mutex_);
    if (failed_) return nullptr;
    pending_[handed_ % CHUNK_BUFFERS] = {chunk, size};
    ++handed_;
    changed_.notify_all();
    // The next buffer in turn is free once the chunk it held is written.
    changed_.wait(lock, [this] { return handed_ - written_ < CHUNK_BUFFERS || failed_; });
    if (failed_) return nullptr;
    return buffers_[handed_ % CHUNK_BUFFERS].get();
  }

  bool finish() override {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
      changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
    return !failed_;
  }

 private:
  struct Chunk {
    const char* text;
    std::size_t size;
  };

  void write_handed_chunks() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return written_ < handed_ || stopping_; });
      if (written_ == handed_) return;
      const Chunk chunk = pending_[written_ % CHUNK_BUFFERS];
      // After a failed write nothing more goes out, so that the file never
      // holds text from behind a gap.
      const bool give_up = failed_;
      lock.unlock();
      const bool written = give_up || std::fwrite(chunk.text, 1, chunk.size, file_) == chunk.size;
      lock.lock();
      if (!written) failed_ = true;
      ++written_;
      changed_.notify_all();
    }
  }

  std::FILE* file_;
  std::array<std::unique_ptr<char[]>, CHUNK_BUFFERS> buffers_;
  std::array<Chunk, CHUNK_BUFFERS> pending_{};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t handed_ = 0;   // chunks handed over so far
  std::size_t written_ = 0;  // of those, written or given up
  bool failed_ = false;
  bool stopping_ = false;
  std::thread thread_;
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
