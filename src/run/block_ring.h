#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "run/source_stream.h"

namespace quarlex {

// A block read ahead: where its bytes are and what its read gave.
struct RingBlock {
  const std::uint8_t* data;
  BlockRead read;
};

// Reads a source's blocks ahead, on a thread of its own, into a few
// buffers that the caller takes in the source's order. Every call comes
// from the one thread that takes the blocks.
class BlockRing {
 public:
  virtual ~BlockRing() = default;

  // Sets the ring reading ahead, or keeps it so; false if it cannot.
  virtual bool start() = 0;

  // Has the ring begin no more reads; what it has read is still taken.
  virtual void stop() = 0;

  // Gives back the block taken before and takes the next one read ahead,
  // waiting for it while the ring reads. Returns nullptr where none is read
  // ahead and none is coming: no read is under way then, and none begins
  // before start(), so that the caller may read the source itself.
  virtual const RingBlock* next() = 0;
};

// A ring that reads from `source`; nullptr where this build has no threads.
// REQUIRES: `source` outlives the ring.
std::unique_ptr<BlockRing> make_block_ring(std::FILE* source);

}  // namespace quarlex
