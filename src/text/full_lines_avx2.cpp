#include <immintrin.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "text/full_lines_x86.h"

// As with the 512-bit composer, only these functions carry the 256-bit
// instructions, and they are called only on a processor that has them.
#define QUARLEX_AVX2_TARGET QUARLEX_TARGET_OF(QUARLEX_AVX2_COMPOSER_FEATURES)

namespace quarlex {
namespace {

// A line's sixteen values are widened to sixteen 16-bit lanes, where the
// digits come out of multiplications instead of table lookups: processors
// without 512-bit byte permutes have no fast way to look 256-entry tables
// up in a register.
constexpr std::size_t HALF_BYTES = 16;
static_assert(LINE_BYTES == HALF_BYTES);
// Each group of four values becomes 16 bytes of slots, "255," or "007,",
// which one byte shuffle then packs together without the leading zeros.
constexpr std::size_t GROUP_VALUES = 4;
constexpr std::size_t GROUPS = LINE_BYTES / GROUP_VALUES;
static_assert(GROUP_VALUES * VALUE_UNIT == HALF_BYTES);
// Every group is stored whole behind the text before it; the line's room
// holds the last one.
static_assert(LONGEST_PREFIX + GROUPS * HALF_BYTES <= DATA_LINE_ROOM);

constexpr unsigned TEN = 10;
constexpr unsigned HUNDRED = 100;
constexpr unsigned BYTE_VALUES = 256;

// x / 10 is (x * TENTH) >> 16 for every x up to 255, and x / 100 is
// (x * HUNDREDTH) >> 16: the high half of a 16-bit product.
constexpr unsigned TENTH = 6554;
constexpr unsigned HUNDREDTH = 656;
constexpr int PRODUCT_HIGH_HALF = 16;
constexpr bool divides_every_byte(unsigned multiplier, unsigned divisor) {
  for (unsigned x = 0; x < BYTE_VALUES; ++x)
    if ((x * multiplier) >> PRODUCT_HIGH_HALF != x / divisor) return false;
  return true;
}
static_assert(divides_every_byte(TENTH, TEN) && divides_every_byte(HUNDREDTH, HUNDRED));

// A group's key has bit i set where value i of the group has a hundreds
// digit and bit GROUP_VALUES + i where it has a tens digit; which bytes of
// its slots are text follows from the key alone.
constexpr std::size_t KEYS = 256;
constexpr std::uint8_t ZERO_LANE = 0x80;  // a shuffle index that yields a zero byte

using GroupShuffle = std::array<std::uint8_t, HALF_BYTES>;

constexpr GroupShuffle group_shuffle(std::size_t key) {
  GroupShuffle shuffle{};
  shuffle.fill(ZERO_LANE);
  std::size_t to = 0;
  for (std::size_t value = 0; value < GROUP_VALUES; ++value) {
    const std::size_t slot = value * VALUE_UNIT;
    const bool hundreds = (key >> value & 1u) != 0;
    const bool tens = (key >> (GROUP_VALUES + value) & 1u) != 0;
    const std::size_t first = hundreds ? 0 : tens ? 1 : 2;
    for (std::size_t from = slot + first; from < slot + VALUE_UNIT; ++from)
      shuffle[to++] = static_cast<std::uint8_t>(from);
  }
  return shuffle;
}

constexpr std::array<GroupShuffle, KEYS> GROUP_SHUFFLES = [] {
  std::array<GroupShuffle, KEYS> shuffles{};
  for (std::size_t key = 0; key < KEYS; ++key) shuffles[key] = group_shuffle(key);
  return shuffles;
}();
// 7, 10, 100 and 255 in a group: "7,", "10,", "100,", "255,".
constexpr std::size_t SAMPLE_KEY = 0b1110'1100;
static_assert(GROUP_SHUFFLES[SAMPLE_KEY][0] == 2 && GROUP_SHUFFLES[SAMPLE_KEY][2] == 5 &&
              GROUP_SHUFFLES[SAMPLE_KEY][5] == 8 && GROUP_SHUFFLES[SAMPLE_KEY][12] == 15 &&
              GROUP_SHUFFLES[SAMPLE_KEY][13] == ZERO_LANE);

// Every value of a group has its ones digit and separator; each bit of the
// key adds one digit.
constexpr std::size_t GROUP_MIN_TEXT = GROUP_VALUES * 2;

// Where the bytes of the line's "has a hundreds digit" and "has a tens
// digit" masks go so that one byte-mask read yields the four keys in turn:
// per 128-bit lane the two masks of values 0-7 (or 8-15) sit side by side,
// and each group's eight bits are gathered into one byte of the read.
constexpr std::array<std::uint8_t, HALF_BYTES> KEY_ORDER{0, 1, 2, 3, 8,  9,  10, 11,
                                                         4, 5, 6, 7, 12, 13, 14, 15};

QUARLEX_AVX2_TARGET inline char* store_group(char* out, __m128i slots, unsigned key) {
  const __m128i shuffle =
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(GROUP_SHUFFLES[key].data()));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(slots, shuffle));
  return out + GROUP_MIN_TEXT + static_cast<unsigned>(std::popcount(key));
}

}  // namespace

QUARLEX_AVX2_TARGET char* compose_full_lines_avx2(char* out, const std::uint8_t* bytes,
                                                  std::size_t lines,
                                                  line_parts::LinePrefix prefix) {
  const __m256i tenth = _mm256_set1_epi16(TENTH);
  const __m256i hundredth = _mm256_set1_epi16(HUNDREDTH);
  const __m256i ten = _mm256_set1_epi16(TEN);
  const __m256i hundred = _mm256_set1_epi16(HUNDRED);
  const __m256i nine = _mm256_set1_epi16(TEN - 1);
  const __m256i ninety_nine = _mm256_set1_epi16(HUNDRED - 1);
  // Added to a word of two digits: both bytes become characters. The ones
  // digit goes in the low byte of its word, the separator in the high one.
  const __m256i digit_pair_base = _mm256_set1_epi16(static_cast<short>('0' << 8 | '0'));
  const __m256i ones_base = _mm256_set1_epi16(static_cast<short>(VALUE_SEPARATOR << 8 | '0'));
  const __m256i key_order = _mm256_broadcastsi128_si256(
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(KEY_ORDER.data())));

  for (const std::uint8_t* const end = bytes + lines * LINE_BYTES; bytes != end;
       bytes += LINE_BYTES) {
    const __m256i values =
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)));
    const __m256i hundreds = _mm256_mulhi_epu16(values, hundredth);
    const __m256i rest = _mm256_sub_epi16(values, _mm256_mullo_epi16(hundreds, hundred));
    const __m256i tens = _mm256_mulhi_epu16(rest, tenth);
    const __m256i ones = _mm256_sub_epi16(rest, _mm256_mullo_epi16(tens, ten));
    const __m256i has_hundreds = _mm256_cmpgt_epi16(values, ninety_nine);
    const __m256i has_tens = _mm256_cmpgt_epi16(values, nine);

    // Slot bytes 0 and 1 in one word, 2 and 3 in the next. A digit the
    // value does not have comes out as '0' here; the group's shuffle leaves
    // it behind.
    const __m256i leading =
        _mm256_add_epi16(_mm256_or_si256(hundreds, _mm256_slli_epi16(tens, 8)), digit_pair_base);
    const __m256i trailing = _mm256_add_epi16(ones, ones_base);
    // Lane 0 holds values 0-7, lane 1 values 8-15: the low interleave makes
    // the slots of groups 0 and 2, the high one those of groups 1 and 3.
    const __m256i slots_0_2 = _mm256_unpacklo_epi16(leading, trailing);
    const __m256i slots_1_3 = _mm256_unpackhi_epi16(leading, trailing);

    const auto keys = static_cast<unsigned>(_mm256_movemask_epi8(
        _mm256_shuffle_epi8(_mm256_packs_epi16(has_hundreds, has_tens), key_order)));

    out = line_parts::start_line(out, prefix);
    constexpr unsigned KEY_BITS = 8;
    constexpr unsigned KEY_MASK = KEYS - 1;
    out = store_group(out, _mm256_castsi256_si128(slots_0_2), keys & KEY_MASK);
    out = store_group(out, _mm256_castsi256_si128(slots_1_3), keys >> KEY_BITS & KEY_MASK);
    out = store_group(out, _mm256_extracti128_si256(slots_0_2, 1), keys >> 2 * KEY_BITS & KEY_MASK);
    out = store_group(out, _mm256_extracti128_si256(slots_1_3, 1), keys >> 3 * KEY_BITS);
    out = line_parts::end_line(out);
  }
  return out;
}

}  // namespace quarlex
