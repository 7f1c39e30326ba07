#include "write/chunk_writer.h"

namespace quarlex {

// This toolchain's standard library has no threads (MinGW's GCC with the
// Win32 thread model), so chunks are written at once.
std::unique_ptr<ChunkWriter> make_background_chunk_writer(OutputSink& sink, HandOver) {
  return make_direct_chunk_writer(sink);
}

}  // namespace quarlex
