#include "output/output_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "output/data_line.h"

namespace quarlex {
namespace {

std::string read_back(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(OutputStream, KeepsPiecesLargerThanItsBufferIntactAndInOrder) {
  const auto path =
      std::filesystem::temp_directory_path() /
      ("quarlex_stream_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::FILE* file = std::fopen(path.string().c_str(), "wb");
  ASSERT_NE(file, nullptr);

  std::string big(OUTPUT_BUFFER_BYTES * 2 + 7, ' ');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  const std::uint8_t bytes[] = {1, 2, 3};
  DataLineForm asm_form = DataLineForm::AsmLine;
  DataLineForm next_form = DataLineForm::CNextLine;
  OutputStream output(file);
  EXPECT_TRUE(output.write("head\r\n"));
  EXPECT_TRUE(append_data_lines(output, bytes, 3, asm_form));
  EXPECT_TRUE(output.write(big));
  EXPECT_TRUE(append_data_lines(output, bytes, 2, next_form));
  EXPECT_TRUE(output.write("tail"));
  EXPECT_TRUE(output.close());

  EXPECT_EQ(read_back(path), "head\r\nDB 1,2,3\r\n" + big + ",1,2\r\ntail");
  std::filesystem::remove(path);
}

TEST(OutputStream, ReportsAFailedWriteAtTheLatestOnClose) {
  std::FILE* full = std::fopen("/dev/full", "wb");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full here";
  OutputStream output(full);
  EXPECT_TRUE(output.write("fits in the buffer"));  // nothing has reached the file yet
  EXPECT_FALSE(output.close());
}

TEST(OutputStream, FailsEveryCallAfterTheFirstFailedWrite) {
  std::FILE* full = std::fopen("/dev/full", "wb");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full here";
  OutputStream output(full);
  EXPECT_FALSE(output.write(std::string(OUTPUT_BUFFER_BYTES + 1, 'x')));
  const std::uint8_t bytes[LINE_BYTES] = {};
  EXPECT_EQ(output.reserve(DATA_LINE_ROOM), nullptr);
  DataLineForm form = DataLineForm::AsmLine;
  EXPECT_FALSE(append_data_lines(output, bytes, LINE_BYTES, form));
  EXPECT_FALSE(output.write("more"));
  EXPECT_FALSE(output.close());
}

}  // namespace
}  // namespace quarlex
