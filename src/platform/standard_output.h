#pragma once

#include <string_view>

namespace quarlex {

// Writes `text` to standard output byte for byte: no line-end translation
// on any platform, so a message ends in CR LF everywhere, never CR CR LF.
void write_standard_output(std::string_view text);

}  // namespace quarlex
