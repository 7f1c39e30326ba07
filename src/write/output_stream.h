#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "write/chunk_writer.h"
#include "write/output_sink.h"
#include "write/streaming_copy.h"

namespace quarlex {

// How whole chunks reach the sink. ByFileKind, for runs: a file on a file
// system takes them from a writer thread while that pays (see
// make_background_chunk_writer), a device or pipe at once, since it
// gains nothing worth the hand-overs. AtOnce and InBackground, for tests:
// always in the composing thread, always handed over.
enum class ChunkWriting { ByFileKind, AtOnce, InBackground };

// A buffered writer over a sink. Pieces are appended to a large buffer,
// which goes to the sink in whole chunks. A chunk that another thread
// writes is composed a little at a time in a small stage, which stays in
// this processor's cache, and streamed into the chunk past the cache, so
// that the writer's processor reads it from memory instead of out of this
// one's cache (docs/performance.md). The first failed write makes
// every later call fail as well, so a caller may check only where it has
// to decide something.
class OutputStream {
 public:
  explicit OutputStream(std::unique_ptr<OutputSink> sink,
                        ChunkWriting writing = ChunkWriting::ByFileKind);
  // For tests: chunks go to `writer`, which writes to `sink`, and the text
  // of chunks it hands over is staged and moved on with `staging_copy`
  // (nullptr: never staged).
  OutputStream(std::unique_ptr<OutputSink> sink, std::unique_ptr<ChunkWriter> writer,
               StreamingCopy staging_copy);
  // Writes what is pending and closes the sink if close() was not called;
  // failures are then no longer reported.
  ~OutputStream();

  OutputStream(const OutputStream&) = delete;
  OutputStream& operator=(const OutputStream&) = delete;

  // Appends `text`. Returns false if pending output could not be written.
  bool write(std::string_view text);

  // Returns room for at least `size` bytes at the end of the pending output,
  // passing a whole chunk on first where one is pending; nullptr if that or
  // an earlier write failed. REQUIRES: size <= CHUNK_OVERHANG_BYTES, which
  // is always left then. Nothing is appended until commit() is called with
  // the end of what was composed there.
  char* reserve(std::size_t size);
  void commit(const char* end) { composed_ = static_cast<std::size_t>(end - composing_); }
  // The end of the room that reserve() gave: a caller may fill up to here.
  const char* room_end() const { return composing_ + compose_limit_ + CHUNK_OVERHANG_BYTES; }

  // Writes what is pending and closes the sink. Returns false if any write,
  // the final flush or the close failed, now or earlier.
  bool close();

  // The system's error code of the first failure, 0 while there is none.
  int error() const { return error_; }
  // Whether that failure was the close, every write having succeeded.
  bool failed_at_close() const { return failed_at_close_; }

 private:
  // Passes on what is composed: writes the chunk, or streams the stage into
  // it. REQUIRES: at least compose_limit_ bytes are composed, or the stage
  // is being emptied.
  bool move_on();
  // Writes the whole chunk and starts the next one with `size` bytes of
  // `carried` text. REQUIRES: the chunk holds at least CHUNK_BYTES.
  bool pass_chunk(const char* carried, std::size_t size);
  // Streams the stage's whole cache lines into the chunk, writing each
  // chunk that fills.
  bool empty_stage();
  // Starts composing the chunk in `next`, in place or in the stage as the
  // writer hands it over or not, with `carried` text to begin with.
  void start_chunk(char* next, const char* carried, std::size_t size);
  bool failed() const { return error_ != 0; }
  // Keeps the first failure's code; 0 (a failure the system gave no code
  // for) counts as EIO.
  void fail(int error);

  std::unique_ptr<OutputSink> sink_;
  std::unique_ptr<ChunkWriter> writer_;
  const StreamingCopy staging_copy_;
  ChunkBuffer stage_;
  char* chunk_ = nullptr;          // the chunk being filled, a buffer of writer_'s
  std::size_t filled_ = 0;         // bytes of chunk_ streamed in from the stage
  char* composing_ = nullptr;      // where text is composed: chunk_ or the stage
  std::size_t composed_ = 0;       // bytes composed there and not yet moved on
  std::size_t compose_limit_ = 0;  // moved on once this much is composed
  int error_ = 0;                  // of the first failure; once set, every call fails
  bool failed_at_close_ = false;
  bool closed_ = false;
};

}  // namespace quarlex
