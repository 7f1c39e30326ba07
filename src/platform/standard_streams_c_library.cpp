#include <unistd.h>

#include <cstdio>

#include "platform/standard_streams.h"

namespace quarlex {

void write_standard_output(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void write_standard_error(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

bool standard_error_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace quarlex
