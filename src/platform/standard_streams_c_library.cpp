#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/standard_streams.h"

namespace quarlex {

ClosedAtStart hold_standard_descriptors_open() {
  ClosedAtStart start;
  for (int descriptor = 0; descriptor < STANDARD_DESCRIPTORS; ++descriptor) {
    if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
    start.closed[static_cast<std::size_t>(descriptor)] = true;
    // The lowest free number, which is this one: the ones below are open.
    const int null_device = ::open("/dev/null", O_RDWR);
    if (null_device != -1 && null_device != descriptor) ::close(null_device);
  }
  return start;
}

void write_standard_output(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

// Not fully buffered, by the C standard, so each message shows at once.
void write_standard_error(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

const char* reason_text(int error) { return std::strerror(error); }

bool standard_error_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace quarlex
