#include "text/include_file.h"

#include <gtest/gtest.h>

#include <string>

namespace quarlex {
namespace {

constexpr LocalTime OCTOBER_MORNING{2001, 10, 30, 9, 41};

TEST(Header, AssemblyHeaderIsExact) {
  std::string text = "left over";
  compose_header(text, OutputFlavour::Assembly, "C:\\data\\a.bin", "a_bin", OCTOBER_MORNING);
  EXPECT_EQ(text,
            "; Do not edit! Call QUARLEX.EXE to update this data.\r\n"
            "; QUARLEX (C) 2026 The Quarlex Developers\r\n"
            "; Quarlex Developers, 12 Harbour Row\r\n"
            "; Westhaven WH4 7QX\r\n"
            "; Mail: quarlex@example.org\r\n"
            "; Home page: https://quarlex.example.org\r\n"
            "; Source file: C:\\data\\a.bin\r\n"
            "; Date: Oct 30 2001 at 9:41\r\n"
            "a_bin:\r\n");
}

TEST(Header, CSourceHeaderIsExact) {
  std::string text;
  compose_header(text, OutputFlavour::CSource, "a.bin", "x", OCTOBER_MORNING);
  EXPECT_EQ(text,
            "/*\r\n"
            " Do not edit! Call QUARLEX.EXE to update this data.\r\n"
            " QUARLEX (C) 2026 The Quarlex Developers\r\n"
            " Quarlex Developers, 12 Harbour Row\r\n"
            " Westhaven WH4 7QX\r\n"
            " Mail: quarlex@example.org\r\n"
            " Home page: https://quarlex.example.org\r\n"
            " Source file: a.bin\r\n"
            " Date: Oct 30 2001 at 9:41\r\n"
            "\r\n"
            "*/\r\n"
            "unsigned char x[ ] = {\r\n");
}

TEST(Header, CarriesLongPathsAndLabelsInFull) {
  const std::string path(5000, 'p');
  const std::string label(3000, 'L');
  std::string text;
  compose_header(text, OutputFlavour::CSource, path, label, OCTOBER_MORNING);
  EXPECT_NE(text.find(" Source file: " + path + "\r\n"), std::string::npos);
  EXPECT_TRUE(text.ends_with("unsigned char " + label + "[ ] = {\r\n"));
}

TEST(SizeEquate, ClosesEachFlavourWithTheCount) {
  const struct {
    OutputFlavour flavour;
    const char* label;
    std::uint64_t count;
    const char* text;
  } cases[] = {
      {OutputFlavour::Assembly, "a_bin", 3, "_a_bin = 3"},
      {OutputFlavour::CSource, "a_bin", 3, "};\r\n#define _a_bin  3"},
      {OutputFlavour::CSource, "x", 0, "};\r\n#define _x  0"},
      {OutputFlavour::Assembly, "x", 4294967295u, "_x = 4294967295"},
      {OutputFlavour::Assembly, "x", 4294967301u, "_x = 4294967301"},
      {OutputFlavour::CSource, "x", 18446744073709551615u,
       "};\r\n#define _x  18446744073709551615"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = "left over";
    compose_size_equate(text, c.flavour, c.label, c.count);
    EXPECT_EQ(text, c.text);
  }
}

}  // namespace
}  // namespace quarlex
