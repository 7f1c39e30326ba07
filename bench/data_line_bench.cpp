// Rendering speed of data lines: bytes of input turned into text per second,
// for random bytes, for zeros (the shortest texts) and for values of 100 and
// up (the longest), appended the way a run appends them, to /dev/null.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "output/data_line.h"

namespace {

constexpr std::size_t BLOCK = 65536;

enum Input { Random, Zeros, HighValues };

std::vector<std::uint8_t> block_of(Input input) {
  std::vector<std::uint8_t> bytes(BLOCK);
  std::mt19937 random(42);
  constexpr unsigned HIGH = 100;
  constexpr unsigned HIGH_SPAN = 256 - HIGH;
  for (auto& b : bytes) {
    const unsigned r = random() & 0xFFu;
    b = static_cast<std::uint8_t>(input == Random ? r : input == Zeros ? 0 : HIGH + r % HIGH_SPAN);
  }
  return bytes;
}

void BM_AppendDataLines(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes = block_of(static_cast<Input>(state.range(0)));
  std::FILE* sink = std::fopen("/dev/null", "wb");
  if (sink == nullptr) {
    state.SkipWithError("cannot open /dev/null");
    return;
  }
  quarlex::OutputStream output(sink);
  quarlex::DataLineForm form = quarlex::DataLineForm::AsmLine;
  for (auto _ : state) {
    if (!quarlex::append_data_lines(output, bytes.data(), bytes.size(), form)) {
      state.SkipWithError("write failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(BLOCK));
}
BENCHMARK(BM_AppendDataLines)->ArgName("random0_zeros1_high2")->DenseRange(Random, HighValues);

}  // namespace

BENCHMARK_MAIN();
