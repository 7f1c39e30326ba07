#include "text/full_lines_x86.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace quarlex {
namespace {

// The processor a test pretends to run on: the instruction sets it has,
// by the compiler's names for them. A global, since the question is a
// plain function, as the compiler's own is.
std::vector<std::string_view> pretended;
bool pretended_has(std::string_view feature) {
  return std::find(pretended.begin(), pretended.end(), feature) != pretended.end();
}

std::string names(std::span<const VectorComposer> composers) {
  std::string joined;
  for (const VectorComposer& composer : composers)
    joined += std::string(joined.empty() ? "" : " ") + composer.name;
  return joined;
}

// Which vector composers run, by the instruction sets Intel lists for
// each processor. A composer whose sets are only partly there must never
// run: it would stop at its first missing instruction.
TEST(VectorComposerDispatch, RunsOnlyComposersWhoseEveryInstructionSetIsThere) {
  const struct {
    const char* processor;
    std::initializer_list<std::string_view> has;
    const char* fastest;
    const char* runs;
  } cases[] = {
      {"Ice Lake",
       {"popcnt", "avx2", "avx512f", "avx512bw", "avx512vbmi", "avx512vbmi2"},
       "",
       "avx512 avx2"},
      {"Cannon Lake: VBMI, no VBMI2",
       {"popcnt", "avx2", "avx512f", "avx512bw", "avx512vbmi"},
       "",
       "avx2"},
      {"Skylake-X: no VBMI", {"popcnt", "avx2", "avx512f", "avx512bw"}, "", "avx2"},
      {"Haswell", {"popcnt", "avx2"}, "", "avx2"},
      {"Nehalem", {"popcnt"}, "", ""},
      {"AVX2 without POPCNT", {"avx2"}, "", ""},
      {"Ice Lake, capped at avx512",
       {"popcnt", "avx2", "avx512f", "avx512bw", "avx512vbmi", "avx512vbmi2"},
       "avx512",
       "avx512 avx2"},
      {"Ice Lake, capped at avx2",
       {"popcnt", "avx2", "avx512f", "avx512bw", "avx512vbmi", "avx512vbmi2"},
       "avx2",
       "avx2"},
      {"Nehalem, capped at avx2", {"popcnt"}, "avx2", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.processor);
    pretended = c.has;
    EXPECT_EQ(names(composers_for(pretended_has, c.fastest).composers()), c.runs);
  }
}

// Whatever the processor lacks, of any composer's sets, that composer does
// not run.
TEST(VectorComposerDispatch, EachMissingInstructionSetStopsItsComposer) {
  const std::initializer_list<std::string_view> all = {"popcnt",   "avx2",       "avx512f",
                                                       "avx512bw", "avx512vbmi", "avx512vbmi2"};
  for (const std::string_view missing : all) {
    SCOPED_TRACE(missing);
    pretended.clear();
    for (const std::string_view feature : all)
      if (feature != missing) pretended.push_back(feature);
    const std::string runs = names(composers_for(pretended_has, "").composers());
    EXPECT_EQ(runs.find("avx512") == std::string::npos,
              missing == "popcnt" || missing.starts_with("avx512"));
    EXPECT_EQ(runs.find("avx2") == std::string::npos, missing == "popcnt" || missing == "avx2");
  }
}

}  // namespace
}  // namespace quarlex
