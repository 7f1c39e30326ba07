#include "write/cache_bypass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

namespace quarlex {
namespace {

constexpr std::size_t CACHE_LINE = 64;
constexpr char CANARY = '#';

// Whole lines bypass the cache and the parts at either end do not, so every
// start within a line and sizes around one and two lines are what can go
// wrong.
TEST(CopyPastCache, CopiesEveryByteAndNothingBeyondAtEveryAlignment) {
  const std::size_t SIZES[] = {0, 1, 15, 16, 17, 63, 64, 65, 127, 128, 129, 200, 1000};
  std::string text(1000, '\0');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  for (std::size_t offset = 0; offset < CACHE_LINE; ++offset) {
    for (const std::size_t size : SIZES) {
      SCOPED_TRACE("offset " + std::to_string(offset) + ", size " + std::to_string(size));
      alignas(CACHE_LINE) char area[3 * CACHE_LINE + 1100];
      std::fill(std::begin(area), std::end(area), CANARY);
      char* const out = area + CACHE_LINE + offset;
      EXPECT_EQ(copy_past_cache(out, text.data(), size), out + size);
      finish_copies_past_cache();
      EXPECT_EQ(std::string(out, size), text.substr(0, size));
      EXPECT_EQ(std::string(area, out), std::string(CACHE_LINE + offset, CANARY));
      EXPECT_EQ(std::string(out + size, std::end(area)),
                std::string(static_cast<std::size_t>(std::end(area) - (out + size)), CANARY));
    }
  }
}

}  // namespace
}  // namespace quarlex
