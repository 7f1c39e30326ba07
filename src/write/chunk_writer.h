#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

#include "write/output_sink.h"

namespace quarlex {

// Output goes to the file in whole chunks of this size, at offsets that are
// multiples of it: the kernel then takes whole pages, which costs it less
// than writes that start and end inside pages (docs/performance.md). Large
// enough that the cost of a system call is spread over much text, small
// enough that a chunk stays in the processor's cache next to the read block.
inline constexpr std::size_t CHUNK_BYTES = 256 * 1024;

// How far a piece composed in place may run past the end of a chunk; what
// runs over starts the next chunk.
inline constexpr std::size_t CHUNK_OVERHANG_BYTES = 4096;

// A chunk and its overhang: every buffer a chunk writer gives out is this
// long.
inline constexpr std::size_t CHUNK_AND_OVERHANG_BYTES = CHUNK_BYTES + CHUNK_OVERHANG_BYTES;

// Hands chunks of output to a sink and owns the buffers they are composed
// in. The sink stays the caller's to close, after finish().
class ChunkWriter {
 public:
  virtual ~ChunkWriter() = default;

  // The buffer to compose the first chunk in.
  virtual char* first_buffer() = 0;

  // Has the first `size` bytes of `chunk`, a buffer this writer gave out,
  // written to the sink, now or while the caller goes on, and returns the
  // buffer to compose the next chunk in; that may be `chunk` itself. The
  // bytes of `chunk` behind `size` stay as they are until the next call.
  // Returns nullptr once a write has failed; nothing more is written then.
  virtual char* write(char* chunk, std::size_t size) = 0;

  // Waits until every chunk handed over is written or given up. Returns
  // false if a write failed.
  virtual bool finish() = 0;

  // The system's error code of the first write that failed, 0 while none
  // has. Set by the time write() has returned nullptr or finish() false.
  virtual int error() const = 0;
};

// The first failure of a run, whichever thread saw it: a later success
// never clears it, and a later failure never replaces it.
class FirstError {
 public:
  // Keeps `error` unless one is kept already; 0 is no failure.
  void keep(int error) {
    int none = 0;
    if (error != 0) error_.compare_exchange_strong(none, error);
  }
  int get() const { return error_.load(); }

 private:
  std::atomic<int> error_{0};
};

// Writes each chunk at once, in the caller's thread.
std::unique_ptr<ChunkWriter> make_direct_chunk_writer(OutputSink& sink);

// When chunks go to a thread of their own: while a processor is free for
// it, or always (for tests of the hand-over).
enum class HandOver { WhileAProcessorIsFree, Always };

// Writes chunks in a thread of its own while the caller composes the next
// ones, as `hand_over` says, and at once in the caller's thread otherwise;
// where this build has no threads, always at once.
std::unique_ptr<ChunkWriter> make_background_chunk_writer(OutputSink& sink, HandOver hand_over);

}  // namespace quarlex
