#include "text/date_stamp.h"

#include <gtest/gtest.h>

namespace quarlex {
namespace {

TEST(DateStamp, RendersTheLocalTimeFields) {
  const struct {
    LocalTime time;
    const char* stamp;
  } cases[] = {
      {{2001, 10, 30, 9, 41}, "Oct 30 2001 at 9:41\r\n"},
      {{2001, 1, 7, 14, 5}, "Jan 7 2001 at 14:05\r\n"},
      {{2026, 12, 31, 0, 0}, "Dec 31 2026 at 0:00\r\n"},
      {{2026, 2, 1, 23, 59}, "Feb 1 2026 at 23:59\r\n"},
      {{999, 3, 9, 10, 10}, "Mar 9 999 at 10:10\r\n"},
      {{12345, 4, 10, 1, 9}, "Apr 10 12345 at 1:09\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stamp);
    std::string text;
    format_date_stamp(text, c.time);
    EXPECT_EQ(text, c.stamp);
  }
}

TEST(DateStamp, NamesEveryMonth) {
  const char* const names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int month = 1; month <= 12; ++month) {
    std::string text;
    format_date_stamp(text, LocalTime{2026, month, 2, 3, 4});
    EXPECT_EQ(text, std::string(names[month - 1]) + " 2 2026 at 3:04\r\n");
  }
}

TEST(DateStamp, AppendsToWhatIsAlreadyThere) {
  std::string text = "; Date: ";
  format_date_stamp(text, LocalTime{2001, 10, 30, 9, 41});
  EXPECT_EQ(text, "; Date: Oct 30 2001 at 9:41\r\n");
}

}  // namespace
}  // namespace quarlex
