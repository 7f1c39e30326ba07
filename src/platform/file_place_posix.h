#pragma once

// What the POSIX files of this folder share.

#include <sys/stat.h>

#include "platform/file_place.h"

namespace quarlex {

struct FilePlace::State {
  int folder;  // open for searching only
};

// The facts in `facts`.
FileFacts facts_of(const struct stat& facts);

}  // namespace quarlex
