#include "run/messages.h"

#include <array>
#include <string_view>

#include "platform/standard_output.h"
#include "text/include_output.h"

namespace quarlex {
namespace {

constexpr std::array<std::string_view, 12> USAGE_LINES{
    "QUARLEX 1.5 interprets any binary file and writes an",
    "Assembly language or C/C++ output file. Use:",
    "",
    "  QUARLEX source.bin output.inc [label name]",
    "",
    "If you don't specify a label, one will be created from",
    "the source file name, replacing blanks with underscores.",
    "An equate beginning with \"_\" is defined that represents",
    "the file size.",
    "QUARLEX (C) 2026 The Quarlex Developers",
    "Quarlex Developers, 12 Harbour Row, Westhaven WH4 7QX",
    "Mail: quarlex@example.org",
};

void print_line(std::string_view line) {
  write_standard_output(line);
  write_standard_output(LINE_END);
}

}  // namespace

void print_message(Message message) {
  switch (message) {
    case Message::Usage:
      for (std::string_view line : USAGE_LINES) print_line(line);
      break;
    case Message::SourceUnopenable:
      print_line("Could not open source file");
      break;
    case Message::OutputUnopenable:
      print_line("Could not open output file");
      break;
    case Message::SameFile:
      print_line("Source and output are the same file");
      break;
  }
}

}  // namespace quarlex
