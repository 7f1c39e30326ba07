#pragma once

// What the cleanup slot's rules (signal_cleanup.cpp), written once, and
// each system's signal handling (signal_cleanup_<system>.cpp) give each
// other.

#include <string>

#include "platform/file_place.h"

namespace quarlex {

// The scratch file as a signal handler can name it: a folder held open and
// the name in it, or, where the system holds no folder (-1), its whole
// path. Per system.
struct RemovalTarget {
  int folder;
  std::string name;
};
RemovalTarget removal_target(const FilePlace& place, const std::string& scratch);

// Removes the file `name` in `folder` (see RemovalTarget). Per system;
// safe in a signal handler.
void remove_now(int folder, const char* name) noexcept;

// Does what the slot says, once, and then nothing more: each system's
// handler calls it before the signal ends the process. Safe in a signal
// handler.
void clean_up_now() noexcept;

}  // namespace quarlex
