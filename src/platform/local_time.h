#pragma once

namespace quarlex {

// The fields of the local date and time that the date stamp shows.
struct LocalTime {
  int year;    // as it is, e.g. 2026
  int month;   // 1 to 12
  int day;     // 1 to 31
  int hour;    // 0 to 23
  int minute;  // 0 to 59
};

// Reads the local date and time from the platform's clock, in the time zone
// the platform's C library is set to (on POSIX systems the TZ variable).
LocalTime read_local_time();

}  // namespace quarlex
