#pragma once

#include <array>
#include <string_view>

namespace quarlex {

// Standard input, output and error, by descriptor number.
inline constexpr int STANDARD_DESCRIPTORS = 3;

// Which standard descriptors were closed when the process started.
struct ClosedAtStart {
  std::array<bool, STANDARD_DESCRIPTORS> closed{};
};

// Opens the null device on every standard descriptor that is closed, so
// that no file the tool opens later takes its number (and a message meant
// for standard output lands in that file). Call before anything is opened.
ClosedAtStart hold_standard_descriptors_open();

// Writes `text` to standard output byte for byte: no line-end translation
// on any platform, so a message ends in CR LF everywhere, never CR CR LF.
void write_standard_output(std::string_view text);

// Writes `text` to standard error at once, unbuffered, in the platform's
// usual text form (on Windows a line end becomes CR LF there).
void write_standard_error(std::string_view text);

// The system's reason for the C library's error code `error`, in words
// that read alike on every system (the Linux C library's).
const char* reason_text(int error);

// Whether standard error is a terminal, where a person may be watching.
bool standard_error_is_terminal();

}  // namespace quarlex
