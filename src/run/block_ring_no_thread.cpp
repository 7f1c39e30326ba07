#include "run/block_ring.h"

namespace quarlex {

// This toolchain's standard library has no threads (MinGW's GCC with the
// Win32 thread model): the source is read in the composing thread.
std::unique_ptr<BlockRing> make_block_ring(std::FILE*) { return nullptr; }

}  // namespace quarlex
