#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "write/chunk_writer.h"
#include "write/output_sink.h"

namespace quarlex {

// How whole chunks reach the sink. ByFileKind, for runs: a file on a file
// system takes them from a writer thread while that pays (see
// make_background_chunk_writer), a device or pipe at once, since it
// gains nothing worth the hand-overs. AtOnce and InBackground, for tests:
// always in the composing thread, always handed over.
enum class ChunkWriting { ByFileKind, AtOnce, InBackground };

// A buffered writer over a sink. Pieces are appended to a large buffer,
// which goes to the sink in whole chunks. The first failed write makes
// every later call fail as well, so a caller may check only where it has
// to decide something.
class OutputStream {
 public:
  explicit OutputStream(std::unique_ptr<OutputSink> sink,
                        ChunkWriting writing = ChunkWriting::ByFileKind);
  // Writes what is pending and closes the sink if close() was not called;
  // failures are then no longer reported.
  ~OutputStream();

  OutputStream(const OutputStream&) = delete;
  OutputStream& operator=(const OutputStream&) = delete;

  // Appends `text`. Returns false if pending output could not be written.
  bool write(std::string_view text);

  // Returns room for at least `size` bytes at the end of the pending output,
  // writing a whole chunk first where the room is shorter; nullptr if that
  // or an earlier write failed. REQUIRES: size <= CHUNK_OVERHANG_BYTES,
  // which a whole chunk pending always leaves. Nothing is appended until commit() is called
  // with the end of what was composed there.
  char* reserve(std::size_t size);
  void commit(const char* end) { used_ = static_cast<std::size_t>(end - buffer_); }
  // The end of the room that reserve() gave: a caller may fill up to here.
  const char* room_end() const { return buffer_ + CHUNK_AND_OVERHANG_BYTES; }

  // Writes what is pending and closes the sink. Returns false if any write,
  // the final flush or the close failed, now or earlier.
  bool close();

  // The system's error code of the first failure, 0 while there is none.
  int error() const { return error_; }
  // Whether that failure was the close, every write having succeeded.
  bool failed_at_close() const { return failed_at_close_; }

 private:
  // REQUIRES: at least CHUNK_BYTES are pending.
  bool write_chunk();
  bool failed() const { return error_ != 0; }
  // Keeps the first failure's code; 0 (a failure the system gave no code
  // for) counts as EIO.
  void fail(int error);

  std::unique_ptr<OutputSink> sink_;
  std::unique_ptr<ChunkWriter> writer_;
  char* buffer_;
  std::size_t used_ = 0;
  int error_ = 0;  // of the first failure; once set, every call fails
  bool failed_at_close_ = false;
  bool closed_ = false;
};

}  // namespace quarlex
