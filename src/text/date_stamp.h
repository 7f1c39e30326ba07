#pragma once

#include <string>

#include "platform/local_time.h"

namespace quarlex {

// Appends the date stamp of `time` to `line_buffer`, CR LF included:
// 9:41 on 30 October 2001 gives "Oct 30 2001 at 9:41\r\n".
// REQUIRES: month 1 to 12, minute 0 to 59.
void format_date_stamp(std::string& line_buffer, const LocalTime& time);

}  // namespace quarlex
