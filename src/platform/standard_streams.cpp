#include "platform/standard_streams.h"

#include <cstdio>

namespace quarlex {

// The C library's standard error: not fully buffered, and in the
// system's text form.
void write_standard_error(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace quarlex
