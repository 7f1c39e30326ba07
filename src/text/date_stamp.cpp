#include "text/date_stamp.h"

#include <array>
#include <string_view>

#include "text/decimal_text.h"
#include "text/line_end.h"

namespace quarlex {
namespace {

constexpr std::array<std::string_view, 12> MONTH_NAMES{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr int SINGLE_DIGIT_LIMIT = 10;

}  // namespace

void format_date_stamp(std::string& line_buffer, const LocalTime& time) {
  line_buffer += MONTH_NAMES[static_cast<std::size_t>(time.month - 1)];
  line_buffer += ' ';
  append_decimal(line_buffer, time.day);
  line_buffer += ' ';
  append_decimal(line_buffer, time.year);
  line_buffer += " at ";
  append_decimal(line_buffer, time.hour);
  line_buffer += ':';
  // Minutes always show two digits, so 14:05 does not read as 14:5.
  if (time.minute < SINGLE_DIGIT_LIMIT) line_buffer += '0';
  append_decimal(line_buffer, time.minute);
  line_buffer += LINE_END;
}

}  // namespace quarlex
