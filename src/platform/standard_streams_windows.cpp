#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/standard_streams.h"

namespace quarlex {

// Standard output starts in text mode on Windows, which would turn every
// LF of a CR LF into CR LF again.
void write_standard_output(std::string_view text) {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void write_standard_error(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

bool standard_error_is_terminal() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace quarlex
