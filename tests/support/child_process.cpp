#include "child_process.h"

#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

namespace quarlex::support {
namespace {

namespace fs = std::filesystem;

constexpr std::chrono::milliseconds POLL_EVERY{1};

// The numbers of `process`'s descriptors that are open on `path`. A
// process that ends meanwhile, or one whose descriptors may not be read,
// has none.
std::vector<int> descriptors_on(const fs::path& process_folder, const fs::path& path) {
  std::vector<int> found;
  std::error_code error;
  const fs::path wanted = fs::weakly_canonical(path, error);
  for (fs::directory_iterator it(process_folder / "fd", error), end; !error && it != end;
       it.increment(error)) {
    std::error_code unreadable;
    if (fs::read_symlink(it->path(), unreadable) != wanted || unreadable) continue;
    const std::string name = it->path().filename().string();
    int number = 0;
    std::from_chars(name.data(), name.data() + name.size(), number);
    found.push_back(number);
  }
  return found;
}

// The value after `key` in a text of "key:\tvalue" lines, such as fdinfo.
std::optional<std::uintmax_t> field(const fs::path& file, const std::string& key) {
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with(key)) continue;
    std::uintmax_t value = 0;
    const std::size_t at = line.find_first_not_of(" \t", key.size());
    if (at == std::string::npos) return std::nullopt;
    std::from_chars(line.data() + at, line.data() + line.size(), value);
    return value;
  }
  return std::nullopt;
}

// Whether the task whose folder is `task` is blocked in read() on
// `descriptor`: its syscall file then starts with the call's number and
// its first argument in hexadecimal ("0 0x3 ..." on x86-64).
bool blocked_reading(const fs::path& task, int descriptor) {
  std::ifstream in(task / "syscall");
  long call = -1;
  std::string first_argument;
  if (!(in >> call >> first_argument) || call != SYS_read || !first_argument.starts_with("0x"))
    return false;
  int value = -1;
  std::from_chars(first_argument.data() + 2, first_argument.data() + first_argument.size(), value,
                  16);
  return value == descriptor;
}

}  // namespace

bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto give_up = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= give_up) return false;
    std::this_thread::sleep_for(POLL_EVERY);
  }
  return true;
}

Drained drain_and_reap(int read_end, pid_t child, std::size_t piece_bytes,
                       std::chrono::microseconds pause) {
  Drained drained{{}, -1};
  std::string piece(piece_bytes, '\0');
  for (ssize_t n; (n = ::read(read_end, piece.data(), piece.size())) > 0;) {
    drained.received.append(piece.data(), static_cast<std::size_t>(n));
    if (pause.count() > 0) std::this_thread::sleep_for(pause);
  }
  ::close(read_end);
  int status = 0;
  if (::waitpid(child, &status, 0) == child) drained.status = status;
  return drained;
}

std::uintmax_t offset_in(pid_t process, const fs::path& path) {
  const fs::path folder = fs::path("/proc") / std::to_string(process);
  for (int descriptor : descriptors_on(folder, path))
    if (const auto position = field(folder / "fdinfo" / std::to_string(descriptor), "pos:"))
      return *position;
  return 0;
}

pid_t process_waiting_to_read(const fs::path& path) {
  const std::string self = std::to_string(::getpid());
  std::error_code error;
  for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name == self || name.find_first_not_of("0123456789") != std::string::npos) continue;
    for (int descriptor : descriptors_on(it->path(), path)) {
      std::error_code gone;
      for (fs::directory_iterator task(it->path() / "task", gone), last; !gone && task != last;
           task.increment(gone))
        if (blocked_reading(task->path(), descriptor)) return std::stoi(name);
    }
  }
  return 0;
}

std::uintmax_t bytes_read_by(pid_t process) {
  return field(fs::path("/proc") / std::to_string(process) / "io", "rchar:").value_or(0);
}

}  // namespace quarlex::support
