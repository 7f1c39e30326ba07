#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "write/chunk_writer.h"

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

class BlockRing;

// The source's blocks, read in turn into one buffer of READ_BLOCK bytes, or
// by a helper thread ahead of the run where the run sets one going; the
// first may be read ahead, to look at it before the run converts it.
class SourceBlocks final : public SourceReadAhead {
 public:
  // A helper reads ahead only where `may_read_ahead`: where every read is
  // sure to end (a regular file, not a pipe), since the run waits for a
  // read under way before it ends.
  // REQUIRES: `source` stays open while this is read.
  SourceBlocks(std::FILE* source, bool may_read_ahead);
  ~SourceBlocks() override;

  SourceBlocks(const SourceBlocks&) = delete;
  SourceBlocks& operator=(const SourceBlocks&) = delete;

  // The block last read.
  const std::uint8_t* data() const { return data_; }

  // Reads the next block, unless the one read ahead is still to be taken.
  BlockRead next();

  // Reads the first block now; next() then gives it.
  BlockRead peek_first();

  // Never once the last block is read, so that the source may be closed.
  bool start() override;
  void stop() override;

 private:
  std::FILE* source_;
  std::unique_ptr<std::uint8_t[]> block_;
  const std::uint8_t* data_;
  BlockRead last_{0, 0};
  bool first_pending_ = false;
  bool may_read_ahead_;
  bool ended_ = false;
  std::unique_ptr<BlockRing> ring_;
};

}  // namespace quarlex
