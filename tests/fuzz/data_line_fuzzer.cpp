// One data line of up to 16 bytes in each form against std::to_chars, with
// canary bytes behind the room the renderer may use.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "include_oracle.h"
#include "output/data_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using quarlex::DataLineForm;
  if (size == 0) return 0;
  const std::size_t count = std::min(size - 1, quarlex::LINE_BYTES);
  if (count == 0) return 0;
  const std::uint8_t* bytes = data + 1;
  const std::string as_text(reinterpret_cast<const char*>(bytes), count);

  constexpr char CANARY = '\x5A';
  constexpr std::size_t CANARY_BYTES = 32;
  const struct {
    DataLineForm form;
    const char* prefix;
  } forms[] = {{DataLineForm::AsmLine, "DB "},
               {DataLineForm::CFirstLine, ""},
               {DataLineForm::CNextLine, ","}};
  for (const auto& f : forms) {
    std::array<char, quarlex::DATA_LINE_ROOM + CANARY_BYTES> buffer;
    buffer.fill(CANARY);
    char* end = quarlex::format_data_line(buffer.data(), bytes, count, f.form);
    if (std::string(buffer.data(), end) != quarlex::oracle::data_line(f.prefix, as_text))
      std::abort();
    for (std::size_t i = quarlex::DATA_LINE_ROOM; i < buffer.size(); ++i)
      if (buffer[i] != CANARY) std::abort();
  }
  return 0;
}
