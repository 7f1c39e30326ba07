#include "write/chunk_writer.h"

namespace quarlex {

namespace {

// Nothing to measure where no thread can be had.
class NoGauges final : public RunGauges {
 public:
  bool processor_free(int) override { return false; }
  std::uint64_t wall_ns() override { return 0; }
  std::uint64_t cpu_ns() override { return 0; }
};

}  // namespace

RunGauges& this_run_gauges() {
  static NoGauges gauges;
  return gauges;
}

// This toolchain's standard library has no threads (MinGW's GCC with the
// Win32 thread model), so chunks are written at once.
std::unique_ptr<ChunkWriter> make_background_chunk_writer(OutputSink& sink, HandOver, RunGauges&) {
  return make_direct_chunk_writer(sink);
}

}  // namespace quarlex
