#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
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

// Every buffer a chunk writer gives out starts on a cache line, so that
// text can be streamed into it a whole line at a time.
inline constexpr std::size_t CHUNK_BUFFER_ALIGNMENT = 64;
struct ReleaseChunkBuffer {
  void operator()(char* buffer) const;
};
using ChunkBuffer = std::unique_ptr<char[], ReleaseChunkBuffer>;
// `size` bytes, left as they come, starting on CHUNK_BUFFER_ALIGNMENT.
ChunkBuffer new_chunk_buffer(std::size_t size = CHUNK_AND_OVERHANG_BYTES);

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

  // Whether the chunk composed next, in the buffer this writer gave out
  // last, goes to another thread to be written. Asked at most once per
  // chunk, before write() is called with it.
  virtual bool hands_over_next() { return false; }

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

// What a run measures of itself to decide whether a writer thread pays.
// Behind an interface so that tests set what the writer sees.
class RunGauges {
 public:
  virtual ~RunGauges() = default;
  // Whether a processor this process may use is free for one more thread,
  // `own_ready` of this process's threads being ready to run already.
  virtual bool processor_free(int own_ready) = 0;
  // Nanoseconds since some fixed moment: of the clock on the wall, and of
  // processor time spent by every thread of this process. Read by the
  // composing thread and by the writer thread.
  virtual std::uint64_t wall_ns() = 0;
  virtual std::uint64_t cpu_ns() = 0;
};

// The gauges of this process and machine.
RunGauges& this_run_gauges();

// Wall and processor time that a number of chunks took.
struct StretchCost {
  std::uint64_t wall_ns;
  std::uint64_t cpu_ns;
  std::uint64_t chunks;
};

// Whether handing chunks to a writer thread pays, from chunks `one_thread`
// wrote at once and chunks `overlapped` handed over: it pays when it took
// less wall time per chunk and saved at least as much wall time as it
// added processor time, so that the second processor gives back at least
// what it costs; per chunk, the sum of wall and processor time is then no
// larger than one thread's.
constexpr bool overlap_pays(StretchCost one_thread, StretchCost overlapped) {
  // Per chunk, multiplied out: a / a_chunks < b / b_chunks is
  // a * b_chunks < b * a_chunks.
  return overlapped.wall_ns * one_thread.chunks < one_thread.wall_ns * overlapped.chunks &&
         (overlapped.wall_ns + overlapped.cpu_ns) * one_thread.chunks <=
             (one_thread.wall_ns + one_thread.cpu_ns) * overlapped.chunks;
}

// Each stretch of this many chunks (128 MiB of text) is decided anew, so
// that the decision follows the load of the machine as it changes; the
// first is decided after 2 * PROBE_CHUNKS chunks (16 MiB of text).
inline constexpr std::size_t STRETCH_CHUNKS = 512;

// At the start of every stretch, this many chunks are written at once and
// as many handed over, each measured: milliseconds of work, so that a
// wake-up or a timer tick is small beside them, few enough that a way that
// does not pay costs little (the one handed over is a sixteenth of the
// stretch).
inline constexpr std::size_t PROBE_CHUNKS = 32;
static_assert(PROBE_CHUNKS * 16 == STRETCH_CHUNKS);

// How often, in chunks, the composing thread looks again whether a
// processor is still free for the writer: seldom enough that the look
// costs nothing beside the text, often enough that the run follows a
// change in the machine's load while it goes on.
inline constexpr std::size_t LOAD_CHECK_CHUNKS = 64;

// When chunks go to a thread of their own: while the run measures that it
// pays (see make_background_chunk_writer), or always (for tests of the
// hand-over).
enum class HandOver { WhileItPays, Always };

// Writes chunks in a thread of its own while the caller composes the next
// ones, as `hand_over` says, and at once in the caller's thread otherwise;
// where this build has no threads, always at once. WhileItPays decides
// from `gauges`, again and again as the run goes on: each stretch of
// chunks begins with a few written at once and, where a processor is free,
// as many handed over, both measured; the rest of the stretch goes the way
// that paid (overlap_pays), handed over only while a processor stays free.
std::unique_ptr<ChunkWriter> make_background_chunk_writer(OutputSink& sink, HandOver hand_over,
                                                          RunGauges& gauges = this_run_gauges());

}  // namespace quarlex
