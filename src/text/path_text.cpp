#include "text/path_text.h"

namespace quarlex {
namespace {

constexpr char STAND_IN = '?';
constexpr unsigned char FIRST_PRINTABLE = 0x20;
constexpr unsigned char DELETE = 0x7F;

constexpr bool is_control(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < FIRST_PRINTABLE || byte == DELETE;
}

// Puts `escape` between the two characters of every `pair` in `text` from
// `from` on.
void break_pairs(std::string& text, std::size_t from, std::string_view pair, char escape) {
  for (std::size_t at = text.find(pair, from); at != std::string::npos;
       at = text.find(pair, at + pair.size() + 1))
    text.insert(at + 1, 1, escape);
}

}  // namespace

void append_path_on_one_line(std::string& text, std::string_view path) {
  for (char c : path) text += is_control(c) ? STAND_IN : c;
}

void append_path_in_c_comment(std::string& text, std::string_view path) {
  const std::size_t start = text.size();
  append_path_on_one_line(text, path);
  break_pairs(text, start, "/*", '\\');
  break_pairs(text, start, "*/", '\\');
}

}  // namespace quarlex
