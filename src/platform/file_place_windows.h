#pragma once

// What the Windows files of this folder share.

#include <windows.h>

#include <string>
#include <utility>

#include "platform/file_place.h"

namespace quarlex {

struct FilePlace::State {
  std::string folder;  // with its separator; "" for the current folder
};

// The facts of the file open on `handle`.
FileFacts handle_facts(HANDLE handle);

// The C library's error code closest to the system's last error.
int last_error_code();

}  // namespace quarlex
