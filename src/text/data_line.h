#pragma once

#include <cstddef>
#include <cstdint>

#include "text/line_end.h"
#include "text/value_texts.h"
#include "write/output_stream.h"

namespace quarlex {

// AsmLine:    DB 0,1,255,10
// CFirstLine: 0,1,255,10
// CNextLine:  ,0,1,255,10     (continues the initialiser list of the line before)
enum class DataLineForm { AsmLine, CFirstLine, CNextLine };

// Values on one data line; every line but the last of a file holds this many.
inline constexpr std::size_t LINE_BYTES = 16;

inline constexpr std::size_t LONGEST_PREFIX = 3;  // "DB "
inline constexpr std::size_t LINE_END_BYTES = LINE_END.size();
inline constexpr std::size_t LONGEST_VALUE = 3;  // "255"

// The longest data line: 16 three-digit values in the AsmLine form.
inline constexpr std::size_t MAX_DATA_LINE =
    LONGEST_PREFIX + LINE_BYTES * LONGEST_VALUE + (LINE_BYTES - 1) + LINE_END_BYTES;
static_assert(MAX_DATA_LINE == 68);

// Room a caller must give format_data_line: the line itself plus the filler
// bytes that the last fixed-size store may leave beyond the line's end.
inline constexpr std::size_t DATA_LINE_ROOM = MAX_DATA_LINE + VALUE_UNIT;

// Composes the data line of `count` bytes in `form` at `out`, CR LF included,
// and returns the end of the line. Writes no terminating zero.
// REQUIRES: 1 <= count <= LINE_BYTES; `out` has DATA_LINE_ROOM writable bytes.
char* format_data_line(char* out, const std::uint8_t* bytes, std::size_t count, DataLineForm form);

// Cuts `size` bytes into lines of LINE_BYTES, the last one possibly shorter,
// and appends them to `output`, the first in `form`. A CFirstLine is followed
// by CNextLine lines; `form` is left as the next line's form, so that the
// lines of later calls continue the same list. Returns false if the output
// could not be written; the caller then ends the run.
bool append_data_lines(OutputStream& output, const std::uint8_t* bytes, std::size_t size,
                       DataLineForm& form);

}  // namespace quarlex
