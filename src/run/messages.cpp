#include "run/messages.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "output/include_output.h"

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
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fwrite(LINE_END.data(), 1, LINE_END.size(), stdout);
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
  std::fflush(stdout);
}

}  // namespace quarlex
