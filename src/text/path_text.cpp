#include "text/path_text.h"

namespace quarlex {
namespace {

// Puts `escape` between the two characters of every `pair` in `text` from
// `from` on.
void break_pairs(std::string& text, std::size_t from, std::string_view pair, char escape) {
  for (std::size_t at = text.find(pair, from); at != std::string::npos;
       at = text.find(pair, at + pair.size() + 1))
    text.insert(at + 1, 1, escape);
}

}  // namespace

void append_path_on_one_line(std::string& text, std::string_view path) {
  for (char c : path) text += on_one_line(c);
}

void append_path_in_c_comment(std::string& text, std::string_view path) {
  const std::size_t start = text.size();
  append_path_on_one_line(text, path);
  break_pairs(text, start, "/*", '\\');
  break_pairs(text, start, "*/", '\\');
}

}  // namespace quarlex
