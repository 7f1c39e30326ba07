#include "text/data_line.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "canary_buffer.h"
#include "include_oracle.h"
#include "random_bytes.h"

namespace quarlex {
namespace {

// Renders into a buffer of exactly DATA_LINE_ROOM bytes followed by canary
// bytes, and fails the test if rendering reached past its room.
std::string render(const std::vector<std::uint8_t>& bytes, DataLineForm form) {
  support::CanaryBuffer buffer(DATA_LINE_ROOM);
  char* end = format_data_line(buffer.data(), bytes.data(), bytes.size(), form);
  EXPECT_TRUE(buffer.intact()) << "written past the room at " << buffer.first_overrun();
  return std::string(buffer.data(), end);
}

std::string oracle_line(const std::vector<std::uint8_t>& bytes, DataLineForm form) {
  const char* prefix = form == DataLineForm::AsmLine     ? "DB "
                       : form == DataLineForm::CNextLine ? ","
                                                         : "";
  return oracle::data_line(prefix, std::string(bytes.begin(), bytes.end()));
}

TEST(DataLine, RendersTheDocumentedExample) {
  const std::vector<std::uint8_t> bytes{0, 1, 255, 10};
  EXPECT_EQ(render(bytes, DataLineForm::AsmLine), "DB 0,1,255,10\r\n");
  EXPECT_EQ(render(bytes, DataLineForm::CFirstLine), "0,1,255,10\r\n");
  EXPECT_EQ(render(bytes, DataLineForm::CNextLine), ",0,1,255,10\r\n");
}

TEST(DataLine, RendersEveryDigitWidthAtItsBoundaries) {
  const struct {
    std::uint8_t value;
    const char* text;
  } cases[] = {{0, "0"}, {9, "9"}, {10, "10"}, {99, "99"}, {100, "100"}, {255, "255"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(render({c.value}, DataLineForm::AsmLine), std::string("DB ") + c.text + "\r\n");
    EXPECT_EQ(render({c.value}, DataLineForm::CFirstLine), std::string(c.text) + "\r\n");
    EXPECT_EQ(render({c.value}, DataLineForm::CNextLine), std::string(",") + c.text + "\r\n");
    EXPECT_EQ(render({c.value, c.value}, DataLineForm::CFirstLine),
              std::string(c.text) + "," + c.text + "\r\n");
  }
}

TEST(DataLine, LongestLineIsSixtyEightBytes) {
  const std::vector<std::uint8_t> bytes(LINE_BYTES, 255);
  const std::string line = render(bytes, DataLineForm::AsmLine);
  EXPECT_EQ(line.size(), 68u);
  EXPECT_EQ(line, oracle_line(bytes, DataLineForm::AsmLine));
}

TEST(DataLine, MatchesTheOracleForEveryValueAndEveryCount) {
  const DataLineForm forms[] = {DataLineForm::AsmLine, DataLineForm::CFirstLine,
                                DataLineForm::CNextLine};
  for (DataLineForm form : forms) {
    for (unsigned value = 0; value < 256; ++value) {
      const std::vector<std::uint8_t> line(LINE_BYTES, static_cast<std::uint8_t>(value));
      ASSERT_EQ(render(line, form), oracle_line(line, form)) << value;
    }
  }
  constexpr std::uint32_t SEED = 20261208;
  for (std::uint32_t round = 0; round < 2000; ++round) {
    const std::size_t count = 1 + round % LINE_BYTES;
    const std::string drawn = support::random_bytes(count, SEED + round);
    const std::vector<std::uint8_t> bytes(drawn.begin(), drawn.end());
    for (DataLineForm form : forms) ASSERT_EQ(render(bytes, form), oracle_line(bytes, form));
  }
}

}  // namespace
}  // namespace quarlex
