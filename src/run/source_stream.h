#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace quarlex {

// The source is read in blocks of this size.
inline constexpr std::size_t READ_BLOCK = 65536;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// An open source file, closed when the handle goes.
using SourceFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` for binary reading; empty on failure, with errno set.
SourceFile open_source(const char* path);

struct BlockRead {
  std::size_t size;  // bytes delivered, 0 to READ_BLOCK
  int error;         // the system's error code if a read error ended the block early, else 0
};

// Reads the next block into `block`. The block is filled completely unless
// the source ends or fails first, even when the source is a pipe or a slow
// device that delivers a few bytes at a time; so a block shorter than
// READ_BLOCK is the last one.
// REQUIRES: `block` has READ_BLOCK writable bytes.
BlockRead read_block(std::FILE* source, std::uint8_t* block);

// The source's blocks, read in turn into one buffer of READ_BLOCK bytes;
// the first may be read ahead, to look at it before the run converts it.
class SourceBlocks {
 public:
  // REQUIRES: `source` stays open while this is read.
  explicit SourceBlocks(std::FILE* source);

  // The block last read.
  const std::uint8_t* data() const { return block_.get(); }

  // Reads the next block, unless the one read ahead is still to be taken.
  BlockRead next();

  // Reads the first block now; next() then gives it.
  BlockRead peek_first();

 private:
  std::FILE* source_;
  std::unique_ptr<std::uint8_t[]> block_;
  BlockRead last_{0, 0};
  bool read_ahead_ = false;
};

}  // namespace quarlex
