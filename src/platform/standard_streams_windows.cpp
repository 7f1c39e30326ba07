#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/standard_streams.h"

namespace quarlex {

ClosedAtStart hold_standard_descriptors_open() {
  ClosedAtStart start;
  for (int descriptor = 0; descriptor < STANDARD_DESCRIPTORS; ++descriptor) {
    if (::_get_osfhandle(descriptor) != -1) continue;
    start.closed[static_cast<std::size_t>(descriptor)] = true;
    const int null_device = ::_open("NUL", _O_RDWR | _O_BINARY);
    if (null_device == -1) continue;
    if (null_device != descriptor) {
      ::_dup2(null_device, descriptor);
      ::_close(null_device);
    }
  }
  return start;
}

// Standard output starts in text mode on Windows, which would turn every
// LF of a CR LF into CR LF again.
void write_standard_output(std::string_view text) {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

bool standard_error_is_terminal() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace quarlex
