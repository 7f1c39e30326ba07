#include "run/progress.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace quarlex {
namespace {

constexpr double BYTES_PER_MIB = 1024.0 * 1024.0;
constexpr std::uint64_t PERCENT = 100;

}  // namespace

Progress::Progress(bool at_terminal, std::uint64_t source_size, ClockReader now, LineWriter show)
    : at_terminal_(at_terminal),
      source_size_(source_size),
      now_(now),
      show_(show),
      start_(now()),
      next_due_(start_ + FIRST_SHOWN_AFTER) {}

Progress::~Progress() {
  if (shown_length_ == 0) return;
  // Blanks over the line, then back to its start: whatever is printed next
  // starts on a clean line, on any terminal.
  std::array<char, LONGEST_LINE_CHARS + 2> clear{};
  clear.fill(' ');
  clear[0] = '\r';
  clear[shown_length_ + 1] = '\r';
  show_({clear.data(), shown_length_ + 2});
}

void Progress::show_if_due(std::uint64_t converted) {
  const auto now = now_();
  if (now < next_due_) return;
  next_due_ = now + SHOWN_EVERY;

  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = static_cast<double>(converted) / seconds;  // bytes per second
  // The carriage return, the text, and blanks over what a longer line
  // before left behind.
  std::array<char, LONGEST_LINE_CHARS + 1> line{};
  int length = 0;
  if (source_size_ > 0 && converted <= source_size_) {
    const double left = rate > 0 ? static_cast<double>(source_size_ - converted) / rate : 0;
    length = std::snprintf(
        line.data(), line.size(), "\rquarlex: %.0f MiB of %.0f MiB (%u%%), %.0f MiB/s, %.0f s left",
        static_cast<double>(converted) / BYTES_PER_MIB,
        static_cast<double>(source_size_) / BYTES_PER_MIB,
        static_cast<unsigned>(converted * PERCENT / source_size_), rate / BYTES_PER_MIB, left);
  } else {
    length = std::snprintf(line.data(), line.size(), "\rquarlex: %.0f MiB, %.0f MiB/s",
                           static_cast<double>(converted) / BYTES_PER_MIB, rate / BYTES_PER_MIB);
  }
  if (length <= 0) return;
  const std::size_t visible = std::min(static_cast<std::size_t>(length), LONGEST_LINE_CHARS) - 1;
  const std::size_t shown = std::max(shown_length_, visible);
  std::fill(line.begin() + static_cast<std::ptrdiff_t>(visible + 1),
            line.begin() + static_cast<std::ptrdiff_t>(shown + 1), ' ');
  shown_length_ = shown;
  show_({line.data(), shown + 1});
}

}  // namespace quarlex
