#pragma once

#include <string>
#include <string_view>

namespace quarlex {

// What stands for `c` where a path must stay on one line: "?" for an ASCII
// control byte (0x00-0x1F and 0x7F), every other byte as it is.
constexpr char on_one_line(char c) {
  constexpr unsigned char FIRST_PRINTABLE = 0x20;
  constexpr unsigned char DELETE = 0x7F;
  const auto byte = static_cast<unsigned char>(c);
  return byte < FIRST_PRINTABLE || byte == DELETE ? '?' : c;
}

// Appends `path` to `text` so that it stays on one line: every ASCII control
// byte (0x00-0x1F and 0x7F) becomes "?". Every other byte stays as given,
// so spaces, backslashes and UTF-8 come out unchanged.
void append_path_on_one_line(std::string& text, std::string_view path);

// As append_path_on_one_line, and so that the path can neither end nor
// nest a C comment: "/*" becomes "/\*", then "*/" becomes "*\/".
// "a*/b/*c" gives "a*\/b/\*c".
void append_path_in_c_comment(std::string& text, std::string_view path);

}  // namespace quarlex
