#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace quarlex::support {

// Checks `condition` about every millisecond until it holds; whether it
// held within `limit`. For reaching a point in another process's run
// without guessing how long it takes.
bool wait_until(const std::function<bool()>& condition,
                std::chrono::milliseconds limit = std::chrono::seconds(10));

struct Drained {
  std::string received;  // everything read, in order
  int status;            // as waitpid reports it; -1 if the child was not reaped
};

// Reads `read_end` until its other end is closed, in reads of at most
// `piece_bytes`, pausing `pause` after each (a slow reader, so that the
// writer meets a full pipe again and again), closes it, then reaps `child`.
// REQUIRES: this process holds no other descriptor on the writing end.
Drained drain_and_reap(int read_end, pid_t child, std::size_t piece_bytes = 65536,
                       std::chrono::microseconds pause = {});

// How far `process` has read (or written) the file at `path`: the offset
// of its descriptor on it, from /proc/PID/fdinfo; 0 while it has none.
std::uintmax_t offset_in(pid_t process, const std::filesystem::path& path);

// A process other than this one that is waiting in read() on a descriptor
// open on `path`, as /proc/PID/task/TID/syscall shows a task blocked in a
// call; 0 if there is none.
pid_t process_waiting_to_read(const std::filesystem::path& path);

// How many bytes `process` has read through read() and the like, from any
// file (rchar in /proc/PID/io); 0 if that cannot be seen.
std::uintmax_t bytes_read_by(pid_t process);

}  // namespace quarlex::support
