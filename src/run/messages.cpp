#include "run/messages.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

#include "platform/standard_streams.h"
#include "run/stamp_time.h"
#include "text/line_end.h"
#include "text/maker.h"
#include "text/path_text.h"

namespace quarlex {
namespace {

constexpr std::array<std::string_view, 9> USAGE_LINES{
    "QUARLEX 1.5 interprets any binary file and writes an",
    "Assembly language or C/C++ output file. Use:",
    "",
    "  QUARLEX source.bin output.inc [label name]",
    "",
    "If you don't specify a label, one will be created from",
    "the source file name, replacing blanks with underscores.",
    "An equate beginning with \"_\" is defined that represents",
    "the file size.",
};

void print_line(std::string_view line) {
  write_standard_output(line);
  write_standard_output(LINE_END);
}

// The maker's notice, in three lines: the postal address on one.
void print_maker() {
  print_line(MAKER_RIGHTS);
  write_standard_output(MAKER_STREET);
  write_standard_output(", ");
  print_line(MAKER_TOWN);
  print_line(MAKER_MAIL);
}

constexpr std::string_view REASON_LEADER = "quarlex: ";

// What each failure says before the file's name.
std::string_view what_failed(Failure failure) {
  switch (failure) {
    case Failure::OpenSource:
      return "cannot open source file ";
    case Failure::OpenOutput:
    case Failure::Swapped:
      return "cannot open output file ";
    case Failure::SameFile:
    case Failure::Memory:
      return "cannot convert ";
    case Failure::CreateScratch:
      return "cannot create a scratch file for ";
    case Failure::CreateScratchIn:
      return "cannot create a scratch file in ";
    case Failure::WriteScratchIn:
      return "cannot write a scratch file in ";
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

// One line in fixed storage; what does not fit is left out, the line end
// always fits.
class ReasonLine {
 public:
  void append(std::string_view text) {
    const std::size_t take = std::min(text.size(), bytes_.size() - 1 - size_);
    std::memcpy(bytes_.data() + size_, text.data(), take);
    size_ += take;
  }
  void append_quoted(std::string_view file) {
    append("'");
    for (char c : file) {
      const char shown = on_one_line(c);
      append({&shown, 1});
    }
    append("'");
  }
  void append_number(std::int64_t number) {
    std::array<char, std::numeric_limits<std::int64_t>::digits10 + 2> digits{};
    const auto result = std::to_chars(digits.begin(), digits.end(), number);
    append({digits.data(), static_cast<std::size_t>(result.ptr - digits.data())});
  }
  std::string_view finished() {
    bytes_[size_] = '\n';
    return {bytes_.data(), size_ + 1};
  }

 private:
  std::array<char, REASON_LINE_BYTES> bytes_;
  std::size_t size_ = 0;
};

}  // namespace

void print_message(Message message) {
  switch (message) {
    case Message::Usage:
      for (std::string_view line : USAGE_LINES) print_line(line);
      print_maker();
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
  ReasonLine line;
  line.append(REASON_LEADER);
  line.append(what_failed(failure));
  switch (failure) {
    case Failure::SameFile:
      line.append_quoted(file);
      line.append(" into ");
      line.append_quoted(other_file);
      line.append(": they are the same file");
      break;
    case Failure::Swapped:
      line.append_quoted(file);
      line.append(": the arguments look swapped: ");
      line.append_quoted(other_file);
      line.append(" is an include file of this tool and ");
      line.append_quoted(file);
      line.append(" is not");
      break;
    case Failure::CreateScratchIn:
    case Failure::WriteScratchIn:
    case Failure::Memory:
      line.append_quoted(file);
      line.append(failure == Failure::Memory ? " into " : " for ");
      line.append_quoted(other_file);
      line.append(": ");
      line.append(reason_text(error));
      break;
    case Failure::BadSourceDateEpoch:
      line.append_number(LATEST_STAMP_SECONDS);
      line.append(": ");
      line.append_quoted(file);
      break;
    default:
      line.append_quoted(file);
      line.append(": ");
      line.append(reason_text(error));
      break;
  }
  write_standard_error(line.finished());
}

}  // namespace quarlex
