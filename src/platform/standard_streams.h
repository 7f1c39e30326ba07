#pragma once

#include <string_view>

namespace quarlex {

// Writes `text` to standard output byte for byte: no line-end translation
// on any platform, so a message ends in CR LF everywhere, never CR CR LF.
void write_standard_output(std::string_view text);

// Writes `text` to standard error at once, unbuffered, in the platform's
// usual text form (on Windows a line end becomes CR LF there).
void write_standard_error(std::string_view text);

// Whether standard error is a terminal, where a person may be watching.
bool standard_error_is_terminal();

}  // namespace quarlex
