#pragma once

// What the Windows files of this folder share.

#include <windows.h>

#include <string>
#include <utility>

#include "platform/file_place.h"

namespace quarlex {

struct FilePlace::State {
  explicit State(std::wstring folder_path) : folder(std::move(folder_path)) {}
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  // Closing the scratch file's handle has the system delete it.
  ~State() {
    if (scratch != INVALID_HANDLE_VALUE) ::CloseHandle(scratch);
  }

  std::wstring folder;  // absolute, as system_path gives it, with its separator
  // The scratch file made beside the name, marked for deletion from its
  // creation, so that the system removes it however the process ends; the
  // mark is cleared only to put it in place through this handle.
  HANDLE scratch = INVALID_HANDLE_VALUE;
};

// A path as the file calls take it: absolute, with the \\?\ prefix that
// lifts the limit of 260 characters once Windows' own rewriting (of "/",
// "..", trailing dots and blanks) has been done; a device name (NUL, COM1,
// and "nul.txt" where Windows takes that for NUL) in the \\.\ form.
struct SystemPath {
  std::wstring path;
  bool device = false;  // the path names a device, not a file in a folder
  int error = 0;        // why the path cannot be taken (an empty one)
};
SystemPath system_path(const char* path);

// The facts of the file open on `handle`.
FileFacts handle_facts(HANDLE handle);

// The C library's error code closest to the system's last error.
int last_error_code();

}  // namespace quarlex
