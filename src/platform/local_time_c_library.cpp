#include <ctime>

#include "platform/local_time.h"

namespace quarlex {

LocalTime read_local_time() {
  constexpr int TM_YEAR_BASE = 1900;
  // localtime fails only for a clock it cannot represent; the stamp then
  // shows the epoch rather than anything made up.
  constexpr LocalTime EPOCH{1970, 1, 1, 0, 0};
  const std::time_t now = std::time(nullptr);
  // One thread, one call per run: the shared result of localtime is safe here.
  const std::tm* local = std::localtime(&now);
  if (local == nullptr) return EPOCH;
  return LocalTime{local->tm_year + TM_YEAR_BASE, local->tm_mon + 1, local->tm_mday, local->tm_hour,
                   local->tm_min};
}

}  // namespace quarlex
