#include "run/progress.h"

#include <gtest/gtest.h>

#include <string>

namespace quarlex {
namespace {

using namespace std::chrono_literals;

constexpr std::uint64_t MIB = 1024 * 1024;

// A clock that moves only when the test says, and a terminal that only
// records: one of each per process, since the progress line takes plain
// function pointers.
Progress::Clock::time_point fake_now;
std::string shown;

Progress::Clock::time_point read_fake_clock() { return fake_now; }
void record(std::string_view text) { shown += text; }

class ProgressLine : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_now = Progress::Clock::time_point{} + 1000s;
    shown.clear();
  }
  static void advance(Progress::Clock::duration by) { fake_now += by; }
};

// A conversion of a few bytes must not flash a line on every run.
TEST_F(ProgressLine, NothingIsShownBeforeASecond) {
  Progress progress(true, 100 * MIB, read_fake_clock, record);
  for (auto step : {1ms, 499ms, 499ms}) {
    advance(step);
    progress.update(MIB);
  }
  EXPECT_EQ(shown, "");
}

TEST_F(ProgressLine, ShownAfterASecondThenEveryQuarterOfOne) {
  Progress progress(true, 100 * MIB, read_fake_clock, record);
  advance(1s);
  progress.update(25 * MIB);
  EXPECT_EQ(shown, "\rquarlex: 25 MiB of 100 MiB (25%), 25 MiB/s, 3 s left");
  shown.clear();
  advance(100ms);
  progress.update(30 * MIB);
  EXPECT_EQ(shown, "") << "shown again within a quarter of a second";
  advance(150ms);
  progress.update(50 * MIB);
  EXPECT_EQ(shown, "\rquarlex: 50 MiB of 100 MiB (50%), 40 MiB/s, 1 s left");
}

// Blanks over what a longer line before left, and over the whole line
// when the run ends, so that the next text starts on a clean line.
TEST_F(ProgressLine, LeavesNothingOfALongerLineBehind) {
  {
    Progress progress(true, 0, read_fake_clock, record);  // a pipe: no size
    advance(1s);
    progress.update(1000 * MIB);
    EXPECT_EQ(shown, "\rquarlex: 1000 MiB, 1000 MiB/s");
    shown.clear();
    advance(1s);
    progress.update(1000 * MIB);
    EXPECT_EQ(shown, "\rquarlex: 1000 MiB, 500 MiB/s ");
    shown.clear();
  }
  EXPECT_EQ(shown, "\r" + std::string(29, ' ') + "\r");  // the longest line, 29 characters
}

TEST_F(ProgressLine, NothingAtAllWhereNoPersonWatches) {
  {
    Progress progress(false, 100 * MIB, read_fake_clock, record);
    advance(10s);
    progress.update(50 * MIB);
  }
  EXPECT_EQ(shown, "");
}

}  // namespace
}  // namespace quarlex
