#include "run/label_rules.h"

#include <algorithm>

namespace quarlex {
namespace {

constexpr char BLANK = ' ';
constexpr char PATH_SEPARATOR = '\\';
constexpr char EXTENSION_DOT = '.';
constexpr char REPLACEMENT = '_';
constexpr std::size_t MAX_EXTENSION_CHARS = 3;

// Bytes are compared with the blank as signed 8-bit numbers, so control
// characters and every byte from 128 up rank at or below it. Labels and
// extensions have always been read this way; changing it would rename the
// labels of files people already embed.
constexpr bool ranks_at_or_below_blank(char c) {
  return static_cast<signed char>(c) <= static_cast<signed char>(BLANK);
}

constexpr auto IS_LABEL_CHAR = [] {
  std::array<bool, 256> table{};
  for (char c : LABEL_CHARS) table[static_cast<unsigned char>(c)] = true;
  return table;
}();

constexpr char to_upper_ascii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::string derive_label(std::string_view text) {
  const std::size_t separator = text.rfind(PATH_SEPARATOR);
  if (separator != std::string_view::npos) text.remove_prefix(separator + 1);
  while (!text.empty() && ranks_at_or_below_blank(text.front())) text.remove_prefix(1);
  if (text.empty()) return std::string(DEFAULT_LABEL);

  std::string label(text);
  for (char& c : label)
    if (!IS_LABEL_CHAR[static_cast<unsigned char>(c)]) c = REPLACEMENT;
  return label;
}

std::uint32_t extension_code(std::string_view path) {
  const std::size_t dot = path.rfind(EXTENSION_DOT);
  if (dot == std::string_view::npos) return 0;

  std::uint32_t code = 0;
  std::size_t taken = 0;
  for (std::size_t i = dot + 1; i < path.size() && taken < MAX_EXTENSION_CHARS; ++i) {
    const char c = to_upper_ascii(path[i]);
    if (ranks_at_or_below_blank(c)) continue;
    code = code << 8 | static_cast<unsigned char>(c);
    ++taken;
  }
  return code;
}

std::size_t find_c_extension(std::uint32_t code) {
  const auto* found = std::find(c_extension_codes.begin(), c_extension_codes.end(), code);
  return found == c_extension_codes.end()
             ? 0
             : static_cast<std::size_t>(found - c_extension_codes.begin()) + 1;
}

OutputFlavour choose_flavour(std::string_view output_path) {
  return find_c_extension(extension_code(output_path)) != 0 ? OutputFlavour::CSource
                                                            : OutputFlavour::Assembly;
}

}  // namespace quarlex
