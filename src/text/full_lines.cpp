#include "text/full_lines.h"

#include <bit>
#include <cstring>

namespace quarlex {
namespace {

// A line's sixteen source bytes, read as two machine words.
constexpr std::size_t SOURCE_WORD_BYTES = sizeof(std::uint64_t);
constexpr std::size_t SOURCE_WORDS = LINE_BYTES / SOURCE_WORD_BYTES;
static_assert(SOURCE_WORDS * SOURCE_WORD_BYTES == LINE_BYTES);

constexpr unsigned BYTE_BITS = 8;
constexpr std::uint64_t BYTE_MASK = 0xFF;

// Takes the word's first byte in memory, whatever the machine's byte
// order, and moves the next one into its place.
inline std::uint8_t take_first_byte(std::uint64_t& word) {
  constexpr unsigned LAST_BYTE_SHIFT = BYTE_BITS * (SOURCE_WORD_BYTES - 1);
  if constexpr (std::endian::native == std::endian::little) {
    const auto first = static_cast<std::uint8_t>(word & BYTE_MASK);
    word >>= BYTE_BITS;
    return first;
  } else {
    const auto first = static_cast<std::uint8_t>(word >> LAST_BYTE_SHIFT);
    word <<= BYTE_BITS;
    return first;
  }
}

}  // namespace

char* compose_full_lines_portable(char* out, const std::uint8_t* bytes, std::size_t lines,
                                  line_parts::LinePrefix prefix) {
  // Each value costs a load of its text and a store of it; reading the
  // source a byte at a time would add a third memory operation per value,
  // and the processor's memory ports, not its arithmetic, are what a value
  // waits for. So the line is read in two words, and its values are taken
  // from them by shifts.
  //
  // The prefix arrives by value so that it stays in registers: stores
  // through `out` could otherwise alias it and force a reload per line. A
  // constant count lets the compiler unroll the line's sixteen values.
  for (const std::uint8_t* const end = bytes + lines * LINE_BYTES; bytes != end;
       bytes += LINE_BYTES) {
    std::uint64_t words[SOURCE_WORDS];
    std::memcpy(words, bytes, LINE_BYTES);
    out = line_parts::start_line(out, prefix);
    for (std::uint64_t word : words)
      for (std::size_t i = 0; i < SOURCE_WORD_BYTES; ++i)
        out = line_parts::append_value(out, take_first_byte(word));
    out = line_parts::end_line(out);
  }
  return out;
}

FullLineComposer full_line_composer() {
  static const FullLineComposer chosen = [] {
    const std::span<const VectorComposer> vector = vector_full_line_composers();
    return vector.empty() ? compose_full_lines_portable : vector.front().compose;
  }();
  return chosen;
}

}  // namespace quarlex
