#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string_view>

namespace quarlex {

// Pending output is handed to the operating system in writes of this size.
// Large enough that system calls vanish from the profile, small enough to
// stay in the cache next to the read block.
inline constexpr std::size_t OUTPUT_BUFFER_BYTES = 256 * 1024;

// A buffered writer over an open file. Pieces are appended to one large
// buffer, which goes to the file in whole writes; the C library's own
// buffering is switched off so that it cannot cut those writes into small
// ones. The first failed write makes every later call fail as well, so a
// caller may check only where it has to decide something.
class OutputStream {
 public:
  // Takes ownership of `file`, which must be open for binary writing.
  explicit OutputStream(std::FILE* file);
  // Writes what is pending and closes the file if close() was not called;
  // failures are then no longer reported.
  ~OutputStream();

  OutputStream(const OutputStream&) = delete;
  OutputStream& operator=(const OutputStream&) = delete;

  // Appends `text`. Returns false if pending output could not be written.
  bool write(std::string_view text);

  // Returns room for at least `size` bytes at the end of the pending output,
  // writing what is pending first if it does not fit; nullptr if that or
  // an earlier write failed. REQUIRES: size <= OUTPUT_BUFFER_BYTES. Nothing is appended until
  // commit() is called with the end of what was composed there.
  char* reserve(std::size_t size);
  void commit(const char* end) { used_ = static_cast<std::size_t>(end - buffer_.get()); }
  // The end of the room that reserve() gave: a caller may fill up to here.
  const char* room_end() const { return buffer_.get() + OUTPUT_BUFFER_BYTES; }

  // Writes what is pending and closes the file. Returns false if any write,
  // the final flush or the close failed, now or earlier.
  bool close();

 private:
  bool flush();

  std::FILE* file_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  bool failed_ = false;
};

}  // namespace quarlex
