#include "text/path_text.h"

#include <gtest/gtest.h>

#include <string>

namespace quarlex {
namespace {

TEST(PathText, NoPathCanBreakALineOrAComment) {
  const struct {
    std::string path;
    std::string on_one_line;
    std::string in_c_comment;
  } cases[] = {
      {"dir/x.bin", "dir/x.bin", "dir/x.bin"},
      {"C:\\data\\logo image.bmp", "C:\\data\\logo image.bmp", "C:\\data\\logo image.bmp"},
      {"h\xC3\xA9llo w\xC3\xB6rld/\xE2\x82\xAC", "h\xC3\xA9llo w\xC3\xB6rld/\xE2\x82\xAC",
       "h\xC3\xA9llo w\xC3\xB6rld/\xE2\x82\xAC"},
      {"e*/\nint injected = 42; /*/x.bin", "e*/?int injected = 42; /*/x.bin",
       "e*\\/?int injected = 42; /\\*\\/x.bin"},
      {std::string("\x00\x01\x1f\x7f\x80 ", 6), "????\x80 ", "????\x80 "},
      {"a\r\nDB \"PWN\"", "a??DB \"PWN\"", "a??DB \"PWN\""},
      {"/*/", "/*/", "/\\*\\/"},
      {"*/*", "*/*", "*\\/\\*"},
      {"**//**", "**//**", "**\\//\\**"},
      {"/", "/", "/"},
      {"*", "*", "*"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.on_one_line);
    std::string line = "lead ";
    append_path_on_one_line(line, c.path);
    EXPECT_EQ(line, "lead " + c.on_one_line);
    std::string comment = "/* ";
    append_path_in_c_comment(comment, c.path);
    EXPECT_EQ(comment, "/* " + c.in_c_comment);
    EXPECT_EQ(comment.find("/*", 1), std::string::npos);
    EXPECT_EQ(comment.find("*/"), std::string::npos);
  }
}

}  // namespace
}  // namespace quarlex
