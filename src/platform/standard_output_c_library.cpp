#include <cstdio>

#include "platform/standard_output.h"

namespace quarlex {

void write_standard_output(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace quarlex
