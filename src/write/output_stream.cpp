#include "write/output_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace quarlex {
namespace {

// Text composed for a chunk that is handed over is streamed on whenever
// this much is staged: small enough that the stage stays in the fastest
// cache between composing and streaming, large enough that the call per
// stage costs nothing beside the text.
constexpr std::size_t STAGE_BYTES = 16 * 1024;

static_assert(CHUNK_BUFFER_ALIGNMENT % STREAMED_LINE_BYTES == 0 &&
                  CHUNK_BYTES % STREAMED_LINE_BYTES == 0,
              "a chunk holds whole streamed lines from its start");

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
      staging_copy_(streaming_copy()) {
  start_chunk(writer_->first_buffer(), nullptr, 0);
}

OutputStream::OutputStream(std::unique_ptr<OutputSink> sink, std::unique_ptr<ChunkWriter> writer,
                           StreamingCopy staging_copy)
    : sink_(std::move(sink)), writer_(std::move(writer)), staging_copy_(staging_copy) {
  start_chunk(writer_->first_buffer(), nullptr, 0);
}

OutputStream::~OutputStream() {
  if (!closed_) close();
}

bool OutputStream::write(std::string_view text) {
  while (!text.empty() && !failed()) {
    const std::size_t take =
        std::min(text.size(), compose_limit_ + CHUNK_OVERHANG_BYTES - composed_);
    std::memcpy(composing_ + composed_, text.data(), take);
    composed_ += take;
    text.remove_prefix(take);
    if (composed_ >= compose_limit_) move_on();
  }
  return !failed();
}

char* OutputStream::reserve([[maybe_unused]] std::size_t size) {
  // Below the limit the overhang is free, and it holds `size`. Moving on
  // as soon as the limit is reached, rather than once the overhang is
  // full too, keeps every batch a caller composes as long as it can be.
  if (failed() || (composed_ >= compose_limit_ && !move_on())) return nullptr;
  return composing_ + composed_;
}

bool OutputStream::move_on() {
  return composing_ == chunk_ ? pass_chunk(chunk_ + CHUNK_BYTES, composed_ - CHUNK_BYTES)
                              : empty_stage();
}

bool OutputStream::pass_chunk(const char* carried, std::size_t size) {
  char* const next = writer_->write(chunk_, CHUNK_BYTES);
  if (next == nullptr) {
    fail(writer_->error());
    composed_ = 0;
    return false;
  }
  start_chunk(next, carried, size);
  return true;
}

bool OutputStream::empty_stage() {
  std::size_t from = 0;
  for (;;) {
    const std::size_t whole_lines = (composed_ - from) / STREAMED_LINE_BYTES * STREAMED_LINE_BYTES;
    const std::size_t take = std::min(whole_lines, CHUNK_BYTES - filled_);
    staging_copy_(chunk_ + filled_, stage_.get() + from, take);
    filled_ += take;
    from += take;
    if (filled_ < CHUNK_BYTES) break;
    // The rest goes on in the next chunk, staged again or composed in place.
    if (!pass_chunk(stage_.get() + from, composed_ - from)) return false;
    if (composing_ == chunk_) return true;
    from = 0;
  }
  // Less than a line is left: it begins the stage again.
  composed_ -= from;
  std::memmove(stage_.get(), stage_.get() + from, composed_);
  return true;
}

void OutputStream::start_chunk(char* next, const char* carried, std::size_t size) {
  chunk_ = next;
  filled_ = 0;
  const bool staged = staging_copy_ != nullptr && writer_->hands_over_next();
  // Only a run that hands chunks over needs the stage.
  if (staged && stage_ == nullptr) stage_ = new_chunk_buffer(STAGE_BYTES + CHUNK_OVERHANG_BYTES);
  composing_ = staged ? stage_.get() : chunk_;
  compose_limit_ = staged ? STAGE_BYTES : CHUNK_BYTES;
  // The carried text may lie in the very buffer it moves to.
  if (size > 0) std::memmove(composing_, carried, size);
  composed_ = size;
}

bool OutputStream::close() {
  if (!failed() && composing_ != chunk_) empty_stage();
  if (!failed() && composing_ != chunk_) {
    // What is left of the stage, less than a line, ends the last chunk.
    std::memcpy(chunk_ + filled_, stage_.get(), composed_);
    composed_ += filled_;
  }
  if (!failed() && composed_ > 0 && writer_->write(chunk_, composed_) == nullptr)
    fail(writer_->error());
  composed_ = 0;
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
