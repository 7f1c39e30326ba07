#include "text/full_lines_x86.h"

#include <array>
#include <iterator>

namespace quarlex {
namespace {

struct BuiltComposer {
  VectorComposer composer;
  bool (*processor_runs)();
};

// Fastest first.
constexpr BuiltComposer BUILT[] = {
    {{"avx512", compose_full_lines_avx512}, processor_runs_avx512_composer},
    {{"avx2", compose_full_lines_avx2}, processor_runs_avx2_composer},
};

struct RunnableComposers {
  std::array<VectorComposer, std::size(BUILT)> list{};
  std::size_t count = 0;
};

}  // namespace

std::span<const VectorComposer> vector_full_line_composers() {
  static const RunnableComposers runnable = [] {
    RunnableComposers found;
    for (const BuiltComposer& built : BUILT)
      if (built.processor_runs()) found.list[found.count++] = built.composer;
    return found;
  }();
  return {runnable.list.data(), runnable.count};
}

}  // namespace quarlex
