#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string_view>

#include "write/chunk_writer.h"

namespace quarlex {

// Whether whole chunks are written in the composing thread or handed to a
// writer thread of their own (see make_background_chunk_writer).
enum class ChunkWriting { AtOnce, InBackground };

// A buffered writer over an open file. Pieces are appended to a large
// buffer, which goes to the file in whole chunks; the C library's own
// buffering is switched off so that it cannot cut those writes into small
// ones. The first failed write makes every later call fail as well, so a
// caller may check only where it has to decide something.
class OutputStream {
 public:
  // Takes ownership of `file`, which must be open for binary writing.
  explicit OutputStream(std::FILE* file, ChunkWriting writing = ChunkWriting::AtOnce);
  // Writes what is pending and closes the file if close() was not called;
  // failures are then no longer reported.
  ~OutputStream();

  OutputStream(const OutputStream&) = delete;
  OutputStream& operator=(const OutputStream&) = delete;

  // Appends `text`. Returns false if pending output could not be written.
  bool write(std::string_view text);

  // Returns room for at least `size` bytes at the end of the pending output,
  // writing a whole chunk first if one is pending; nullptr if that or an
  // earlier write failed. REQUIRES: size <= OUTPUT_OVERHANG_BYTES. Nothing
  // is appended until commit() is called with the end of what was composed
  // there.
  char* reserve(std::size_t size);
  void commit(const char* end) { used_ = static_cast<std::size_t>(end - buffer_); }
  // The end of the room that reserve() gave: a caller may fill up to here.
  const char* room_end() const { return buffer_ + CHUNK_BUFFER_BYTES; }
  // Whether a caller that composes much at once should compose it in a
  // small buffer of its own and put it in the room with copy_past_cache().
  // So while a writer thread is short of chunks: composing straight into
  // lines that the other core has just read costs this core several times
  // the work. While chunks are queued, composing in place is better,
  // as the other core then reads the text faster from this core's cache
  // than from memory.
  bool fills_past_cache() { return writer_->short_of_chunks(); }

  // Writes what is pending and closes the file. Returns false if any write,
  // the final flush or the close failed, now or earlier.
  bool close();

  // The system's error code of the first failure, 0 while there is none.
  int error() const { return error_; }
  // Whether that failure was the close, every write having succeeded.
  bool failed_at_close() const { return failed_at_close_; }

 private:
  // REQUIRES: at least OUTPUT_BUFFER_BYTES are pending.
  bool write_chunk();
  bool failed() const { return error_ != 0; }
  // Keeps the first failure's code; 0 (a failure the system gave no code
  // for) counts as EIO.
  void fail(int error);

  std::FILE* file_;
  std::unique_ptr<ChunkWriter> writer_;
  char* buffer_;
  std::size_t used_ = 0;
  int error_ = 0;  // of the first failure; once set, every call fails
  bool failed_at_close_ = false;
};

}  // namespace quarlex
