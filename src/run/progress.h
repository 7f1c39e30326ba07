#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/standard_streams.h"

namespace quarlex {

// How far a long conversion has got, on one line of standard error that is
// rewritten in place, for a person at a terminal: bytes converted, the
// share of the source where its size is known, the rate and the time left.
// Build tools, pipes and files never see it. The line appears only once a
// run has taken FIRST_SHOWN_AFTER, and goes when the run ends.
class Progress {
 public:
  static constexpr std::chrono::milliseconds FIRST_SHOWN_AFTER{1000};
  static constexpr std::chrono::milliseconds SHOWN_EVERY{250};
  // Room for the longest line, whatever the figures: composed without
  // allocating, since the line is also cleared while a run that ran out of
  // memory ends.
  static constexpr std::size_t LONGEST_LINE_CHARS = 160;

  using Clock = std::chrono::steady_clock;
  // Reads the clock: Clock::now, or a test's clock.
  using ClockReader = Clock::time_point (*)();
  // Shows text on standard error: write_standard_error, or a test's sink.
  using LineWriter = void (*)(std::string_view text);

  // `source_size` is 0 where the source tells none (a pipe). Shows nothing
  // unless `at_terminal`.
  Progress(bool at_terminal, std::uint64_t source_size, ClockReader now = Clock::now,
           LineWriter show = write_standard_error);
  // Clears the line, if one was shown.
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Call once per block read, with the bytes converted so far: it looks at
  // the clock once, and nothing more unless the line is due.
  void update(std::uint64_t converted) {
    if (at_terminal_) show_if_due(converted);
  }

 private:
  void show_if_due(std::uint64_t converted);

  bool at_terminal_;
  std::uint64_t source_size_;
  ClockReader now_;
  LineWriter show_;
  Clock::time_point start_;
  Clock::time_point next_due_;
  std::size_t shown_length_ = 0;
};

}  // namespace quarlex
