#include "run/source_stream.h"

#include <cerrno>
#include <new>

#include "platform/file_place.h"
#include "run/block_ring.h"

namespace quarlex {

SourceFile open_source(const char* path) {
  SourceFile source(open_for_reading(path));
  // Blocks go straight from the system into the caller's buffer.
  if (source) std::setvbuf(source.get(), nullptr, _IONBF, 0);
  return source;
}

BlockRead read_block(std::FILE* source, std::uint8_t* block) {
  // fread keeps asking until the block is full, the source ends or a read
  // fails, which is what makes a short block the last one.
  errno = 0;
  const std::size_t size = std::fread(block, 1, READ_BLOCK, source);
  if (size == READ_BLOCK || std::ferror(source) == 0) return BlockRead{size, 0};
  return BlockRead{size, errno != 0 ? errno : EIO};
}

SourceBlocks::SourceBlocks(std::FILE* source, bool may_read_ahead)
    : source_(source),
      block_(std::make_unique_for_overwrite<std::uint8_t[]>(READ_BLOCK)),
      data_(block_.get()),
      may_read_ahead_(may_read_ahead) {}

SourceBlocks::~SourceBlocks() = default;

BlockRead SourceBlocks::next() {
  if (first_pending_) {
    first_pending_ = false;
    return last_;
  }
  const RingBlock* const ahead = ring_ ? ring_->next() : nullptr;
  if (ahead != nullptr) {
    data_ = ahead->data;
    last_ = ahead->read;
  } else {
    data_ = block_.get();
    last_ = read_block(source_, block_.get());
  }
  ended_ = last_.size < READ_BLOCK;
  return last_;
}

BlockRead SourceBlocks::peek_first() {
  last_ = read_block(source_, block_.get());
  first_pending_ = true;
  ended_ = last_.size < READ_BLOCK;
  return last_;
}

bool SourceBlocks::start() {
  if (!may_read_ahead_ || ended_) return false;
  try {
    if (!ring_) ring_ = make_block_ring(source_);
  } catch (const std::bad_alloc&) {
    // No room for the helper's buffers: the run reads on by itself.
  }
  if (ring_ && ring_->start()) return true;
  ring_.reset();
  may_read_ahead_ = false;
  return false;
}

void SourceBlocks::stop() {
  if (ring_) ring_->stop();
}

}  // namespace quarlex
