// Rendering speed of data lines: bytes of input turned into text per second,
// for random bytes, for zeros (the shortest texts) and for values of 100 and
// up (the longest): appended the way a run appends them, to /dev/null, and
// composed by each full-line composer alone into memory.

#include <benchmark/benchmark.h>
#include <fcntl.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "text/data_line.h"
#include "text/full_lines.h"

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

enum Composer { Portable, Vector };

void BM_ComposeFullLines(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes = block_of(static_cast<Input>(state.range(0)));
  const quarlex::FullLineComposer compose = state.range(1) == Portable
                                                ? quarlex::compose_full_lines_portable
                                                : quarlex::vector_full_line_composer();
  if (compose == nullptr) {
    state.SkipWithError("no vector composer for this processor");
    return;
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
    ->ArgNames({"random0_zeros1_high2", "portable0_vector1"})
    ->ArgsProduct({{Random, Zeros, HighValues}, {Portable, Vector}});

}  // namespace

BENCHMARK_MAIN();
