#pragma once

// What the POSIX files of this folder share.

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "platform/file_place.h"

namespace quarlex {

struct FilePlace::State {
  State(int folder_descriptor, std::string entry)
      : folder(folder_descriptor), name(std::move(entry)) {}
  ~State() { ::close(folder); }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  int folder;  // open for searching only
  std::string name;
};

// The facts in `facts`.
FileFacts facts_of(const struct stat& facts);

}  // namespace quarlex
