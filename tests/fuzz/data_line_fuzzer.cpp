// Data lines against std::to_chars, with canary bytes behind the room the
// renderer may use: one line of up to 16 bytes in each form, and up to
// nine whole lines through every full-line composer this processor runs.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "canary_buffer.h"
#include "include_oracle.h"
#include "text/data_line.h"
#include "text/full_lines.h"

namespace {

using quarlex::DataLineForm;

// Two four-line steps of the vector composer and one line left over.
constexpr std::size_t MOST_LINES = 9;

const struct {
  DataLineForm form;
  const char* prefix;
} FORMS[] = {
    {DataLineForm::AsmLine, "DB "}, {DataLineForm::CFirstLine, ""}, {DataLineForm::CNextLine, ","}};

void check_one_line(const std::uint8_t* bytes, std::size_t count) {
  const std::string as_text(reinterpret_cast<const char*>(bytes), count);
  for (const auto& f : FORMS) {
    quarlex::support::CanaryBuffer buffer(quarlex::DATA_LINE_ROOM);
    char* end = quarlex::format_data_line(buffer.data(), bytes, count, f.form);
    if (std::string(buffer.data(), end) != quarlex::oracle::data_line(f.prefix, as_text))
      std::abort();
    if (!buffer.intact()) std::abort();
  }
}

void check_whole_lines(const std::uint8_t* bytes, std::size_t lines) {
  std::vector<quarlex::FullLineComposer> composers{quarlex::compose_full_lines_portable};
  for (const quarlex::VectorComposer& vector : quarlex::vector_full_line_composers())
    composers.push_back(vector.compose);
  const std::size_t room = lines * quarlex::DATA_LINE_ROOM;
  for (const auto& f : FORMS) {
    std::string expected;
    for (std::size_t line = 0; line < lines; ++line)
      expected += quarlex::oracle::data_line(
          f.prefix, std::string(reinterpret_cast<const char*>(bytes) + line * quarlex::LINE_BYTES,
                                quarlex::LINE_BYTES));
    for (quarlex::FullLineComposer compose : composers) {
      quarlex::support::CanaryBuffer buffer(room);
      char* end = compose(buffer.data(), bytes, lines, quarlex::line_parts::prefix_of(f.form));
      if (std::string(buffer.data(), end) != expected) std::abort();
      if (!buffer.intact()) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t* bytes = data + 1;
  check_one_line(bytes, std::min(size - 1, quarlex::LINE_BYTES));
  check_whole_lines(bytes, std::min((size - 1) / quarlex::LINE_BYTES, MOST_LINES));
  return 0;
}
