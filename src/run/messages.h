#pragma once

#include <cstddef>
#include <string_view>

namespace quarlex {

// The texts the program prints on standard output. A failed read or write
// has none: its output file may be standard output itself.
enum class Message { Usage, SourceUnopenable, OutputUnopenable, SameFile };

// Prints `message` on standard output, followed by a line end.
void print_message(Message message);

inline constexpr std::size_t REASON_LINE_BYTES = 16384;

// What a failure's line on standard error says could not be done.
enum class Failure {
  OpenSource,
  OpenOutput,
  SameFile,
  Swapped,  // `file` is OUTPUT, `other_file` SOURCE
  CreateScratch,
  CreateScratchIn,  // `file` is the scratch folder, `other_file` OUTPUT
  WriteScratchIn,   // the same
  Read,
  Write,
  Close,
  Replace,
  Memory,
  BadSourceDateEpoch,
};

// Prints one line on standard error, in the form Unix tools use, naming
// what failed, the file and the system's reason for `error`:
// "quarlex: cannot read '/proc/self/mem': Input/output error".
// `file` is the path as given (or the variable's value); `other_file` the
// second path where a failure concerns two. Control bytes in either are
// shown as "?", so that the line stays one line. Allocates nothing, so
// that it works when memory has run out; a line longer than
// REASON_LINE_BYTES is cut.
void print_reason(Failure failure, std::string_view file, int error,
                  std::string_view other_file = {});

}  // namespace quarlex
