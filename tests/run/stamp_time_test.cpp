#include "run/stamp_time.h"

#include <gtest/gtest.h>

namespace quarlex {
namespace {

TEST(StampTime, SourceDateEpochIsThatMomentInUtc) {
  const struct {
    const char* seconds;
    LocalTime expected;
  } cases[] = {
      {"0", {1970, 1, 1, 0, 0}},
      {"86399", {1970, 1, 1, 23, 59}},
      {"86400", {1970, 1, 2, 0, 0}},
      {"951782400", {2000, 2, 29, 0, 0}},
      {"1700000000", {2023, 11, 14, 22, 13}},
      {"0001700000000", {2023, 11, 14, 22, 13}},
      {"253402300799", {9999, 12, 31, 23, 59}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seconds);
    const std::optional<LocalTime> time = stamp_time(c.seconds);
    ASSERT_TRUE(time.has_value());
    EXPECT_EQ(time->year, c.expected.year);
    EXPECT_EQ(time->month, c.expected.month);
    EXPECT_EQ(time->day, c.expected.day);
    EXPECT_EQ(time->hour, c.expected.hour);
    EXPECT_EQ(time->minute, c.expected.minute);
  }
}

TEST(StampTime, AnythingButWholeSecondsInRangeIsRefused) {
  for (const char* text : {"abc", "-1", "+1", "1.5", "1e9", " 1", "1 ", "0x10", "253402300800",
                           "99999999999999999999999"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(stamp_time(text).has_value());
  }
}

LocalTime an_autumn_morning() { return {2001, 10, 30, 9, 41}; }

TEST(StampTime, UnsetOrEmptyGivesTheLocalTime) {
  for (const char* text : {static_cast<const char*>(nullptr), ""}) {
    const std::optional<LocalTime> time = stamp_time(text, an_autumn_morning);
    ASSERT_TRUE(time.has_value());
    EXPECT_EQ(time->year, 2001);
    EXPECT_EQ(time->month, 10);
    EXPECT_EQ(time->day, 30);
    EXPECT_EQ(time->hour, 9);
    EXPECT_EQ(time->minute, 41);
  }
  // Set, the variable wins over the clock.
  EXPECT_EQ(stamp_time("0", an_autumn_morning)->year, 1970);
}

}  // namespace
}  // namespace quarlex
