#include "write/output_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "write/cache_bypass.h"

namespace quarlex {

OutputStream::OutputStream(std::FILE* file, ChunkWriting writing)
    : file_(file),
      writer_(writing == ChunkWriting::InBackground ? make_background_chunk_writer(file)
                                                    : make_direct_chunk_writer(file)),
      buffer_(writer_->first_buffer()) {
  std::setvbuf(file_, nullptr, _IONBF, 0);
}

OutputStream::~OutputStream() {
  if (file_ != nullptr) close();
}

bool OutputStream::write(std::string_view text) {
  while (!text.empty() && !failed()) {
    const std::size_t take = std::min(text.size(), CHUNK_BUFFER_BYTES - used_);
    std::memcpy(buffer_ + used_, text.data(), take);
    used_ += take;
    text.remove_prefix(take);
    if (used_ >= OUTPUT_BUFFER_BYTES) write_chunk();
  }
  return !failed();
}

char* OutputStream::reserve(std::size_t /*size*/) {
  // Below a chunk's worth pending, the overhang alone is room enough.
  if (failed() || (used_ >= OUTPUT_BUFFER_BYTES && !write_chunk())) return nullptr;
  return buffer_ + used_;
}

bool OutputStream::write_chunk() {
  // The text must be all in place before the chunk changes hands.
  finish_copies_past_cache();
  char* const next = writer_->write(buffer_, OUTPUT_BUFFER_BYTES);
  if (next == nullptr) {
    fail(writer_->error());
    used_ = 0;
    return false;
  }
  used_ -= OUTPUT_BUFFER_BYTES;
  std::memmove(next, buffer_ + OUTPUT_BUFFER_BYTES, used_);
  buffer_ = next;
  return true;
}

bool OutputStream::close() {
  finish_copies_past_cache();
  if (!failed() && used_ > 0 && writer_->write(buffer_, used_) == nullptr) fail(writer_->error());
  used_ = 0;
  if (!writer_->finish()) fail(writer_->error());
  errno = 0;
  if (std::fclose(file_) != 0 && !failed()) {
    fail(errno);
    failed_at_close_ = true;
  }
  file_ = nullptr;
  return !failed();
}

void OutputStream::fail(int error) {
  if (!failed()) error_ = error != 0 ? error : EIO;
}

}  // namespace quarlex
