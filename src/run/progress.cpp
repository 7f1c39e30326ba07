#include "run/progress.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "platform/standard_streams.h"

namespace quarlex {
namespace {

constexpr double BYTES_PER_MIB = 1024.0 * 1024.0;
constexpr std::uint64_t PERCENT = 100;

}  // namespace

Progress::Progress(bool at_terminal, std::uint64_t source_size)
    : at_terminal_(at_terminal),
      source_size_(source_size),
      start_(std::chrono::steady_clock::now()),
      next_due_(start_ + FIRST_SHOWN_AFTER) {}

Progress::~Progress() {
  if (shown_length_ == 0) return;
  // Blanks over the line, then back to its start: whatever is printed next
  // starts on a clean line, on any terminal.
  std::string clear = "\r";
  clear.append(shown_length_, ' ');
  clear += '\r';
  write_standard_error(clear);
}

void Progress::show_if_due(std::uint64_t converted) {
  const auto now = std::chrono::steady_clock::now();
  if (now < next_due_) return;
  next_due_ = now + SHOWN_EVERY;

  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = static_cast<double>(converted) / seconds;  // bytes per second
  std::array<char, 160> line{};
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
  std::string text(line.data(), static_cast<std::size_t>(length));
  const std::size_t visible = text.size() - 1;  // less the carriage return
  // Blanks over what a longer line before left behind.
  if (visible < shown_length_) text.append(shown_length_ - visible, ' ');
  shown_length_ = std::max(shown_length_, visible);
  write_standard_error(text);
}

}  // namespace quarlex
