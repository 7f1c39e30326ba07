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

}  // namespace quarlex
