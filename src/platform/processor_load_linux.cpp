#include <fcntl.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <string_view>

#include "platform/processor_load.h"

namespace quarlex {
namespace {

// The fourth field of /proc/loadavg, "ready/all", counts the tasks ready
// to run now, the reader among them: "0.30 0.41 0.27 3/109 3874".
constexpr const char* LOAD_FILE = "/proc/loadavg";
constexpr int READY_FIELD = 3;

int ready_tasks() {
  const int file = ::open(LOAD_FILE, O_RDONLY | O_CLOEXEC);
  if (file == -1) return -1;
  std::array<char, 128> text{};
  const ssize_t got = ::read(file, text.data(), text.size());
  ::close(file);
  if (got <= 0) return -1;
  std::string_view load(text.data(), static_cast<std::size_t>(got));
  for (int field = 0; field < READY_FIELD; ++field) {
    const std::size_t blank = load.find(' ');
    if (blank == std::string_view::npos) return -1;
    load.remove_prefix(blank + 1);
  }
  int ready = 0;
  const auto [end, status] = std::from_chars(load.data(), load.data() + load.size(), ready);
  return status == std::errc() && end != load.data() ? ready : -1;
}

}  // namespace

bool processors_free_for(int threads, int own_ready) {
  cpu_set_t allowed;
  if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0) return false;
  const int ready = ready_tasks();
  if (ready < 0) return false;
  const int others = ready > own_ready ? ready - own_ready : 0;
  return others + threads <= CPU_COUNT(&allowed);
}

std::uint64_t process_cpu_ns() {
  constexpr std::uint64_t NS_PER_SECOND = 1'000'000'000;
  timespec spent{};
  if (::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &spent) != 0) return 0;
  return static_cast<std::uint64_t>(spent.tv_sec) * NS_PER_SECOND +
         static_cast<std::uint64_t>(spent.tv_nsec);
}

}  // namespace quarlex
