#include "text/full_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "canary_buffer.h"
#include "include_oracle.h"
#include "random_bytes.h"

namespace quarlex {
namespace {

struct NamedComposer {
  const char* name;
  FullLineComposer compose;
};

// The portable composer always; the vector ones this processor runs.
std::vector<NamedComposer> composers() {
  std::vector<NamedComposer> all{{"portable", compose_full_lines_portable}};
  for (const VectorComposer& vector : vector_full_line_composers())
    all.push_back({vector.name, vector.compose});
  return all;
}

// Composes the whole lines of `bytes` into exactly the room the composer may
// use, followed by canary bytes, and fails the test if it wrote past it.
std::string compose(FullLineComposer composer, const std::string& bytes, DataLineForm form) {
  const std::size_t lines = bytes.size() / LINE_BYTES;
  support::CanaryBuffer buffer(lines * DATA_LINE_ROOM);
  char* end = composer(buffer.data(), reinterpret_cast<const std::uint8_t*>(bytes.data()), lines,
                       line_parts::prefix_of(form));
  EXPECT_TRUE(buffer.intact()) << "written past the room at " << buffer.first_overrun();
  return std::string(buffer.data(), end);
}

std::string oracle_lines(const std::string& bytes, const char* prefix) {
  std::string text;
  for (std::size_t at = 0; at + LINE_BYTES <= bytes.size(); at += LINE_BYTES)
    text += oracle::data_line(prefix, std::string_view(bytes).substr(at, LINE_BYTES));
  return text;
}

TEST(FullLines, EveryComposerMatchesTheOracle) {
  constexpr std::uint32_t SEED = 20261208;
  std::vector<std::pair<std::string, std::string>> inputs;  // name, bytes
  // 0 to 9 lines: none, part of a four-line step, whole steps, and steps
  // with one to three lines left over.
  for (std::size_t lines = 0; lines <= 9; ++lines)
    inputs.emplace_back(
        std::to_string(lines) + " random lines",
        support::random_bytes(lines * LINE_BYTES, static_cast<std::uint32_t>(SEED + lines)));
  // Every value in every place of a step: 64 shifts of the ramp 0-255.
  std::string ramps;
  for (std::size_t shift = 0; shift < 64; ++shift)
    for (std::size_t i = 0; i < 256; ++i) ramps += static_cast<char>((i + shift) & 0xFFu);
  inputs.emplace_back("shifted ramps", ramps);
  // Lines of one value, at each change in the number of digits.
  for (unsigned value : {0u, 9u, 10u, 99u, 100u, 127u, 128u, 199u, 200u, 255u})
    inputs.emplace_back("all " + std::to_string(value),
                        std::string(5 * LINE_BYTES, static_cast<char>(value)));

  const struct {
    DataLineForm form;
    const char* prefix;
  } forms[] = {{DataLineForm::AsmLine, "DB "},
               {DataLineForm::CFirstLine, ""},
               {DataLineForm::CNextLine, ","}};
  for (const NamedComposer& composer : composers()) {
    for (const auto& [name, bytes] : inputs) {
      for (const auto& f : forms) {
        SCOPED_TRACE(std::string(composer.name) + ", " + name + ", prefix \"" + f.prefix + "\"");
        ASSERT_EQ(compose(composer.compose, bytes, f.form), oracle_lines(bytes, f.prefix));
      }
    }
  }
}

}  // namespace
}  // namespace quarlex
