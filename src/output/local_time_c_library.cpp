#include "output/local_time.h"

#include <ctime>

namespace quarlex {

LocalTime read_local_time() {
  constexpr int TM_YEAR_BASE = 1900;
  const std::time_t now = std::time(nullptr);
  // One thread, one call per run: the shared result of localtime is safe here.
  const std::tm* local = std::localtime(&now);
  if (local == nullptr) return LocalTime{TM_YEAR_BASE + 70, 1, 1, 0, 0};
  return LocalTime{local->tm_year + TM_YEAR_BASE, local->tm_mon + 1, local->tm_mday,
                   local->tm_hour, local->tm_min};
}

}  // namespace quarlex
