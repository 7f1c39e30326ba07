#pragma once

// Plain, obviously correct versions of what the converter computes, written
// apart from its code, for tests and fuzzers to compare against.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarlex::oracle {

enum class Flavour { Assembly, CSource };

// The extensions, in upper case, that give the C/C++ flavour: the README's
// table, read from its text, not the converter's list.
const std::vector<std::string>& c_extensions();

// The label rule, byte by byte.
std::string label(std::string_view text);

// The extension characters that count (up to three, upper case), as text.
std::string extension(std::string_view path);

// The packed code of extension(path).
std::uint32_t extension_code(std::string_view path);

Flavour flavour(std::string_view output_path);

// One data line of `bytes` (1 to 16) in the form given by its prefix
// ("DB ", "" or ","), CR LF included, rendered with std::to_chars.
std::string data_line(std::string_view prefix, std::string_view bytes);

// Replaces the text of the header's date stamp by "<date>".
std::string mask_date_line(std::string text);

// The source path as the header's "Source file:" line shows it: control
// bytes as "?", and in the C flavour a backslash inside every "/*" and "*/".
std::string header_path(Flavour flavour, std::string_view source_path);

// The whole include file for `bytes`, date stamp masked.
std::string include_file(Flavour flavour, std::string_view source_path, std::string_view label,
                         std::string_view bytes);

}  // namespace quarlex::oracle
