#pragma once

#include <cstdint>
#include <optional>

#include "platform/local_time.h"

namespace quarlex {

// The name of the variable that fixes the date stamp, for reproducible
// builds: seconds since 1970-01-01 00:00:00 UTC.
inline constexpr const char* SOURCE_DATE_EPOCH = "SOURCE_DATE_EPOCH";

// The latest moment SOURCE_DATE_EPOCH may name: the last second of the year
// 9999, past which no build tool reckons.
inline constexpr std::int64_t LATEST_STAMP_SECONDS = 253'402'300'799;

// The moment the header's date stamp shows. Where `source_date_epoch` (the
// variable's text) is set and not empty, that moment in UTC, so that two
// runs give the same file in any time zone: "1700000000" gives 22:13 on
// 14 November 2023. Otherwise the local time now, as `local_time` reads
// it. Nothing if the text is not a decimal count of seconds from 0 to
// LATEST_STAMP_SECONDS.
std::optional<LocalTime> stamp_time(const char* source_date_epoch,
                                    LocalTime (*local_time)() = read_local_time);

}  // namespace quarlex
