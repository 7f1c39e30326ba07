#include "text/data_line.h"

#include <algorithm>

#include "text/full_lines.h"
#include "text/line_parts.h"

namespace quarlex {

// A line composed in place may run past the end of a chunk by its room.
static_assert(DATA_LINE_ROOM <= CHUNK_OVERHANG_BYTES);

using line_parts::compose_line;
using line_parts::prefix_of;

char* format_data_line(char* out, const std::uint8_t* bytes, std::size_t count, DataLineForm form) {
  return compose_line(out, bytes, count, prefix_of(form));
}

bool append_data_lines(OutputStream& output, const std::uint8_t* bytes, std::size_t size,
                       DataLineForm& form) {
  const FullLineComposer compose_full_lines = full_line_composer();
  while (size > 0) {
    char* out = output.reserve(DATA_LINE_ROOM);
    if (out == nullptr) return false;
    if (form == DataLineForm::CFirstLine) {
      const std::size_t count = std::min(size, LINE_BYTES);
      out = format_data_line(out, bytes, count, form);
      form = DataLineForm::CNextLine;
      output.commit(out);
      bytes += count;
      size -= count;
      continue;
    }
    // Compose as many lines as the free room surely takes, then append them
    // at once: no check of the room and no call per line.
    const auto room = static_cast<std::size_t>(output.room_end() - out);
    const std::size_t full_lines = std::min(size / LINE_BYTES, room / DATA_LINE_ROOM);
    out = compose_full_lines(out, bytes, full_lines, prefix_of(form));
    bytes += full_lines * LINE_BYTES;
    size -= full_lines * LINE_BYTES;
    if (size > 0 && size < LINE_BYTES && room - full_lines * DATA_LINE_ROOM >= DATA_LINE_ROOM) {
      out = compose_line(out, bytes, size, prefix_of(form));
      size = 0;
    }
    output.commit(out);
  }
  return true;
}

}  // namespace quarlex
