#pragma once

// Names as Windows keeps them (UTF-16) and as the tool handles them
// (UTF-8, the same bytes a Linux build gets for the same name).

#include <string>
#include <string_view>

namespace quarlex {

// Whether `byte` continues a UTF-8 character rather than starting one.
constexpr bool continues_a_character(char byte) {
  constexpr unsigned char CONTINUATION_TEST = 0xC0;
  constexpr unsigned char CONTINUATION_MARK = 0x80;
  return (static_cast<unsigned char>(byte) & CONTINUATION_TEST) == CONTINUATION_MARK;
}

// `text` in UTF-8. A surrogate without its partner, which Windows allows in
// a name, becomes the three bytes UTF-8 would give its code point (as
// WTF-8 does), so that wide_from_utf8 gives the very name back.
std::string utf8_from_wide(std::wstring_view text);

// `text` in UTF-16; the inverse of utf8_from_wide. A byte that starts no
// valid sequence becomes U+FFFD; names that reach it come from
// utf8_from_wide, so none does.
std::wstring wide_from_utf8(std::string_view text);

}  // namespace quarlex
