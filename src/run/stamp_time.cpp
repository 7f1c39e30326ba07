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

std::optional<LocalTime> stamp_time(const char* source_date_epoch) {
  if (source_date_epoch == nullptr || *source_date_epoch == '\0') return read_local_time();
  const std::string_view text(source_date_epoch);
  // Digits only: from_chars alone would take a sign, and stop at the first
  // byte that is not a digit without complaint.
  if (text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  std::int64_t seconds = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (status != std::errc() || end != text.data() + text.size() || seconds > LATEST_STAMP_SECONDS)
    return std::nullopt;
  return utc_time(seconds);
}

}  // namespace quarlex
