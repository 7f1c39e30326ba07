#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/local_time.h"
#include "text/line_end.h"
#include "text/maker.h"
#include "text/output_flavour.h"

namespace quarlex {

// The maker's notice in every header, one line each, without the comment
// leader and the line end.
inline constexpr std::array<std::string_view, 5> NOTICE_LINES{
    MAKER_RIGHTS, MAKER_STREET, MAKER_TOWN, MAKER_MAIL, MAKER_HOME_PAGE,
};

// The first line of every header's comment.
inline constexpr std::string_view DO_NOT_EDIT =
    "Do not edit! Call QUARLEX.EXE to update this data.";

// What each comment line of a header starts with; the C header's comment
// opens on a line of its own.
inline constexpr std::string_view C_COMMENT_START = "/*";
inline constexpr std::string_view C_COMMENT_LEADER = " ";
inline constexpr std::string_view ASSEMBLY_COMMENT_LEADER = "; ";

// How many bytes at the start of a file starts_like_include_file() needs:
// the C header's "/*" line and its first comment line, which is longer
// than the assembler header's first line.
inline constexpr std::size_t INCLUDE_FILE_MARK_BYTES = C_COMMENT_START.size() + LINE_END.size() +
                                                       C_COMMENT_LEADER.size() +
                                                       DO_NOT_EDIT.size() + LINE_END.size();
static_assert(ASSEMBLY_COMMENT_LEADER.size() + DO_NOT_EDIT.size() + LINE_END.size() <=
              INCLUDE_FILE_MARK_BYTES);

// Whether `start`, the first bytes of a file (INCLUDE_FILE_MARK_BYTES of
// them where it has that many), begins as an include file of this tool
// does, in either flavour.
bool starts_like_include_file(std::string_view start);

namespace detail {
constexpr bool closes_c_comment(std::string_view line) {
  return line.find("*/") != std::string_view::npos;
}
}  // namespace detail

// The C header carries the notice inside /* */; one "*/" would end the
// comment early and break every file ever generated.
static_assert([] {
  for (std::string_view line : NOTICE_LINES)
    if (detail::closes_c_comment(line)) return false;
  return true;
}());

// Replaces the contents of `line_buffer` with the whole header of `flavour`:
// the comment with the notice, `source_path` as given but for the bytes
// that could break the comment (see path_text.h), the date stamp of `time`,
// and the label line or array declaration, each line ending in CR LF.
void compose_header(std::string& line_buffer, OutputFlavour flavour, std::string_view source_path,
                    std::string_view label, const LocalTime& time);

// Replaces the contents of `line_buffer` with the closing text of `flavour`,
// which defines "_" + label as `byte_count`. No line end follows the count:
// the file ends with its last digit.
void compose_size_equate(std::string& line_buffer, OutputFlavour flavour, std::string_view label,
                         std::uint64_t byte_count);

}  // namespace quarlex
