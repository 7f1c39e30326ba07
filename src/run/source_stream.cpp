#include "run/source_stream.h"

#include <cerrno>

#include "platform/file_place.h"

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

SourceBlocks::SourceBlocks(std::FILE* source)
    : source_(source), block_(std::make_unique_for_overwrite<std::uint8_t[]>(READ_BLOCK)) {}

BlockRead SourceBlocks::next() {
  if (read_ahead_) {
    read_ahead_ = false;
    return last_;
  }
  last_ = read_block(source_, block_.get());
  return last_;
}

BlockRead SourceBlocks::peek_first() {
  last_ = read_block(source_, block_.get());
  read_ahead_ = true;
  return last_;
}

}  // namespace quarlex
