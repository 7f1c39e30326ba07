// Rendering speed of data lines: bytes of input turned into text per second,
// for random bytes, for zeros (the shortest texts) and for values of 100 and
// up (the longest): appended the way a run appends them, to /dev/null, and
// composed by each full-line composer alone into memory.

#include <benchmark/benchmark.h>
#include <fcntl.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "random_bytes.h"
#include "text/data_line.h"
#include "text/full_lines.h"

namespace {

constexpr std::size_t BLOCK = 65536;

enum Input { Random, Zeros, HighValues };

std::vector<std::uint8_t> block_of(Input input) {
  constexpr std::uint32_t SEED = 42;
  const std::string drawn = quarlex::support::random_bytes(BLOCK, SEED);
  std::vector<std::uint8_t> bytes(BLOCK);
  constexpr unsigned HIGH = 100;
  constexpr unsigned HIGH_SPAN = 256 - HIGH;
  for (std::size_t i = 0; i < BLOCK; ++i) {
    const unsigned r = static_cast<unsigned char>(drawn[i]);
    bytes[i] = static_cast<std::uint8_t>(input == Random  ? r
                                         : input == Zeros ? 0
                                                          : HIGH + r % HIGH_SPAN);
  }
  return bytes;
}

void BM_AppendDataLines(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes = block_of(static_cast<Input>(state.range(0)));
  const int sink = ::open("/dev/null", O_WRONLY);
  if (sink == -1) {
    state.SkipWithError("cannot open /dev/null");
    return;
  }
  quarlex::OutputStream output(quarlex::descriptor_sink(sink));
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

// 0 is the portable composer; 1 on are the vector composers this processor
// runs, fastest first.
constexpr std::int64_t PORTABLE = 0;
constexpr std::int64_t MOST_VECTOR_COMPOSERS = 2;

void BM_ComposeFullLines(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes = block_of(static_cast<Input>(state.range(0)));
  quarlex::FullLineComposer compose = quarlex::compose_full_lines_portable;
  if (state.range(1) != PORTABLE) {
    const auto vector = quarlex::vector_full_line_composers();
    const auto index = static_cast<std::size_t>(state.range(1) - 1);
    if (index >= vector.size()) {
      state.SkipWithError("no such vector composer for this processor");
      return;
    }
    compose = vector[index].compose;
    state.SetLabel(vector[index].name);
  }
  constexpr std::size_t LINES = BLOCK / quarlex::LINE_BYTES;
  std::vector<char> text(LINES * quarlex::DATA_LINE_ROOM);
  const auto prefix = quarlex::line_parts::prefix_of(quarlex::DataLineForm::AsmLine);
  for (auto _ : state) {
    benchmark::DoNotOptimize(compose(text.data(), bytes.data(), LINES, prefix));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(BLOCK));
}
BENCHMARK(BM_ComposeFullLines)
    ->ArgNames({"random0_zeros1_high2", "portable0_vector"})
    ->ArgsProduct({{Random, Zeros, HighValues},
                   benchmark::CreateDenseRange(PORTABLE, MOST_VECTOR_COMPOSERS, 1)});

}  // namespace

BENCHMARK_MAIN();
