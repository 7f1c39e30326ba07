#include "write/scratch_name.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace quarlex {
namespace {

TEST(ScratchName, IsHiddenShortAndNamesItsFile) {
  const struct {
    std::string final_name;
    std::string expected_start;
  } cases[] = {
      {"logo.h", ".logo.h.quarlex-"},
      {std::string(250, 'n'), "." + std::string(82, 'n') + ".quarlex-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.final_name.size());
    const std::string name = scratch_name(c.final_name, 12345);
    EXPECT_LE(name.size(), SCRATCH_NAME_LIMIT);
    EXPECT_TRUE(name.starts_with(c.expected_start)) << name;
    EXPECT_EQ(name.find('/'), std::string::npos);
  }
}

TEST(ScratchName, CutsLongNamesBetweenUtf8Characters) {
  // One byte, then characters of two: a cut after an even number of bytes
  // would split one.
  std::string accented = "x";
  for (int i = 0; i < 80; ++i) accented += "\xC3\xA9";  // é
  const std::string name = scratch_name(accented, 1);
  const std::string kept = name.substr(1, name.find(".quarlex-") - 1);
  EXPECT_EQ(kept.size() % 2, 1u) << "a character was cut in two";
  EXPECT_GT(kept.size(), 70u);
  EXPECT_TRUE(accented.starts_with(kept));
  EXPECT_LE(name.size(), SCRATCH_NAME_LIMIT);
}

TEST(ScratchName, DiffersWithTheSaltOnly) {
  std::set<std::string> names;
  for (std::uint64_t salt = 0; salt < 1000; ++salt)
    names.insert(scratch_name("out.h", salt * 7919));
  EXPECT_EQ(names.size(), 1000u);
  EXPECT_EQ(scratch_name("out.h", 42), scratch_name("out.h", 42));
}

}  // namespace
}  // namespace quarlex
