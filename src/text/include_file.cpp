#include "text/include_file.h"

#include "text/date_stamp.h"
#include "text/decimal_text.h"
#include "text/line_end.h"
#include "text/path_text.h"

namespace quarlex {
namespace {

void append_line(std::string& text, std::string_view leader, std::string_view line) {
  text += leader;
  text += line;
  text += LINE_END;
}

// The comment lines both flavours share, each behind `leader`. The path is
// whatever the command line gave: a line break in it would end the comment
// line, and "*/" the C comment, and let the rest of the path be code.
void append_comment_body(std::string& text, OutputFlavour flavour, std::string_view leader,
                         std::string_view source_path, const LocalTime& time) {
  append_line(text, leader, DO_NOT_EDIT);
  for (std::string_view notice : NOTICE_LINES) append_line(text, leader, notice);
  text += leader;
  text += "Source file: ";
  if (flavour == OutputFlavour::CSource)
    append_path_in_c_comment(text, source_path);
  else
    append_path_on_one_line(text, source_path);
  text += LINE_END;
  text += leader;
  text += "Date: ";
  format_date_stamp(text, time);
}

}  // namespace

void compose_header(std::string& line_buffer, OutputFlavour flavour, std::string_view source_path,
                    std::string_view label, const LocalTime& time) {
  line_buffer.clear();
  if (flavour == OutputFlavour::CSource) {
    append_line(line_buffer, "", C_COMMENT_START);
    append_comment_body(line_buffer, flavour, C_COMMENT_LEADER, source_path, time);
    line_buffer += LINE_END;
    append_line(line_buffer, "", "*/");
    line_buffer += "unsigned char ";
    line_buffer += label;
    append_line(line_buffer, "", "[ ] = {");
  } else {
    append_comment_body(line_buffer, flavour, ASSEMBLY_COMMENT_LEADER, source_path, time);
    line_buffer += label;
    append_line(line_buffer, "", ":");
  }
}

bool starts_like_include_file(std::string_view start) {
  std::string c_start;
  append_line(c_start, "", C_COMMENT_START);
  append_line(c_start, C_COMMENT_LEADER, DO_NOT_EDIT);
  std::string assembly_start;
  append_line(assembly_start, ASSEMBLY_COMMENT_LEADER, DO_NOT_EDIT);
  return start.starts_with(c_start) || start.starts_with(assembly_start);
}

void compose_size_equate(std::string& line_buffer, OutputFlavour flavour, std::string_view label,
                         std::uint64_t byte_count) {
  line_buffer.clear();
  if (flavour == OutputFlavour::CSource) {
    append_line(line_buffer, "", "};");
    line_buffer += "#define _";
    line_buffer += label;
    line_buffer += "  ";
  } else {
    line_buffer += '_';
    line_buffer += label;
    line_buffer += " = ";
  }
  append_decimal(line_buffer, byte_count);
}

}  // namespace quarlex
