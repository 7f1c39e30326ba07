#include "run/messages.h"

#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/standard_streams.h"
#include "run/stamp_time.h"
#include "text/include_output.h"
#include "text/path_text.h"

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

constexpr std::string_view REASON_LEADER = "quarlex: ";

// What each failure says before the file's name.
std::string_view what_failed(Failure failure) {
  switch (failure) {
    case Failure::OpenSource:
      return "cannot open source file ";
    case Failure::OpenOutput:
      return "cannot open output file ";
    case Failure::SameFile:
      return "cannot convert ";
    case Failure::Read:
      return "cannot read ";
    case Failure::Write:
      return "cannot write ";
    case Failure::Close:
      return "cannot close ";
    case Failure::Replace:
      return "cannot replace ";
    case Failure::BadSourceDateEpoch:
      return "SOURCE_DATE_EPOCH is not a whole number of seconds from 0 to ";
  }
  return {};
}

void append_quoted(std::string& line, std::string_view file) {
  line += '\'';
  append_path_on_one_line(line, file);
  line += '\'';
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

void print_reason(Failure failure, std::string_view file, int error, std::string_view other_file) {
  std::string line(REASON_LEADER);
  line += what_failed(failure);
  switch (failure) {
    case Failure::SameFile:
      append_quoted(line, file);
      line += " into ";
      append_quoted(line, other_file);
      line += ": they are the same file";
      break;
    case Failure::BadSourceDateEpoch:
      line += std::to_string(LATEST_STAMP_SECONDS);
      line += ": ";
      append_quoted(line, file);
      break;
    default:
      append_quoted(line, file);
      line += ": ";
      line += std::strerror(error);
      break;
  }
  line += '\n';
  write_standard_error(line);
}

}  // namespace quarlex
