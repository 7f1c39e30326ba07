#include "run/stamp_time.h"

#include <charconv>
#include <chrono>
#include <string_view>

namespace quarlex {
namespace {

LocalTime utc_time(std::int64_t seconds) {
  using namespace std::chrono;
  const sys_seconds moment{std::chrono::seconds{seconds}};
  const sys_days day = floor<days>(moment);
  const year_month_day date{day};
  const hh_mm_ss clock{moment - day};
  return LocalTime{
      static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
      static_cast<int>(static_cast<unsigned>(date.day())), static_cast<int>(clock.hours().count()),
      static_cast<int>(clock.minutes().count())};
}

}  // namespace

std::optional<LocalTime> stamp_time(const char* source_date_epoch, LocalTime (*local_time)()) {
  if (source_date_epoch == nullptr || *source_date_epoch == '\0') return local_time();
  const std::string_view text(source_date_epoch);
  // Unsigned, so that no sign is taken; to the end, so that nothing after
  // the digits is ignored.
  std::uint64_t seconds = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (status != std::errc() || end != text.data() + text.size() ||
      seconds > static_cast<std::uint64_t>(LATEST_STAMP_SECONDS))
    return std::nullopt;
  return utc_time(static_cast<std::int64_t>(seconds));
}

}  // namespace quarlex
