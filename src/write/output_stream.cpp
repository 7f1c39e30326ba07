#include "write/output_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace quarlex {
namespace {

std::unique_ptr<ChunkWriter> chunk_writer_for(OutputSink& sink, ChunkWriting writing) {
  switch (writing) {
    case ChunkWriting::ByFileKind:
      // Into a file the kernel copies every chunk into the page cache,
      // which costs it more than the chunk cost to compose: a thread may
      // pay, and the run finds out.
      if (sink.into_file()) return make_background_chunk_writer(sink, HandOver::WhileItPays);
      break;
    case ChunkWriting::AtOnce:
      break;
    case ChunkWriting::InBackground:
      return make_background_chunk_writer(sink, HandOver::Always);
  }
  return make_direct_chunk_writer(sink);
}

}  // namespace

OutputStream::OutputStream(std::unique_ptr<OutputSink> sink, ChunkWriting writing)
    : sink_(std::move(sink)),
      writer_(chunk_writer_for(*sink_, writing)),
      buffer_(writer_->first_buffer()) {}

OutputStream::~OutputStream() {
  if (!closed_) close();
}

bool OutputStream::write(std::string_view text) {
  while (!text.empty() && !failed()) {
    const std::size_t take = std::min(text.size(), CHUNK_AND_OVERHANG_BYTES - used_);
    std::memcpy(buffer_ + used_, text.data(), take);
    used_ += take;
    text.remove_prefix(take);
    if (used_ >= CHUNK_BYTES) write_chunk();
  }
  return !failed();
}

char* OutputStream::reserve(std::size_t size) {
  // Room shorter than a size within the overhang means a whole chunk is
  // pending.
  if (failed() || (CHUNK_AND_OVERHANG_BYTES - used_ < size && !write_chunk())) return nullptr;
  return buffer_ + used_;
}

bool OutputStream::write_chunk() {
  char* const next = writer_->write(buffer_, CHUNK_BYTES);
  if (next == nullptr) {
    fail(writer_->error());
    used_ = 0;
    return false;
  }
  used_ -= CHUNK_BYTES;
  std::memmove(next, buffer_ + CHUNK_BYTES, used_);
  buffer_ = next;
  return true;
}

bool OutputStream::close() {
  if (!failed() && used_ > 0 && writer_->write(buffer_, used_) == nullptr) fail(writer_->error());
  used_ = 0;
  if (!writer_->finish()) fail(writer_->error());
  closed_ = true;
  if (const int error = sink_->close(); error != 0 && !failed()) {
    fail(error);
    failed_at_close_ = true;
  }
  return !failed();
}

void OutputStream::fail(int error) {
  if (!failed()) error_ = error != 0 ? error : EIO;
}

}  // namespace quarlex
