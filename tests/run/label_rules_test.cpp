#include "run/label_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "include_oracle.h"

namespace quarlex {
namespace {

TEST(DeriveLabel, FollowsTheLabelRules) {
  const struct {
    std::string text;
    std::string label;
  } cases[] = {
      {"C:\\data\\logo image.bmp", "logo_image_bmp"},
      {"logo.bmp", "logo_bmp"},
      {"dir/x.bin", "dir_x_bin"},  // only the backslash separates components
      {"a\\b", "b"},
      {"C:logo", "C_logo"},
      {"  my label ", "my_label_"},  // trailing blanks become underscores
      {"9lives", "9lives"},          // a label may begin with a digit
      {"!x", "_x"},                  // 33 ranks above the blank: kept, replaced
      {"\t\x01 x", "x"},             // control bytes and blanks are skipped
      {"\x80\xff"
       "a\xe9-b",
       "a__b"},  // high bytes rank below the blank when leading
      {"a\x7f"
       "b",
       "a_b"},
      {std::string(LABEL_CHARS), std::string(LABEL_CHARS)},
      // Nothing usable left: the default label.
      {"C:\\data\\", "quarlex"},
      {"   ", "quarlex"},
      {"", "quarlex"},
      {"\x80\xc3\xa9\xff", "quarlex"},
      {"x\\ \t", "quarlex"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(derive_label(c.text), c.label);
  }
}

TEST(DeriveLabel, KeepsEveryCharacterOfALongText) {
  for (std::size_t length : {2047u, 2048u, 100000u}) {
    std::string text(length, 'a');
    text[length / 2] = '.';
    std::string expected(length, 'a');
    expected[length / 2] = '_';
    EXPECT_EQ(derive_label(text), expected) << length;
  }
}

TEST(ExtensionCode, PacksUpToThreeCharactersAfterTheLastDot) {
  const struct {
    std::string path;
    std::uint32_t code;
  } cases[] = {
      {"x.c", 0x43},
      {"x.C", 0x43},
      {"x.cpp", 0x435050},
      {"x.java", 0x4A4156},       // characters after the third are ignored
      {"my.dir\\out", 0x444952},  // the last dot lies in a directory name
      {"a.b/c", 0x422F43},
      {"x.c p", 0x4350},        // the blank is skipped and does not count
      {"x.c\x01pp", 0x435050},  // so is a control byte
      {"x.\x80"
       "c",
       0x43},  // and a byte from 128 up
      {"x.~1", 0x7E31},
      {"a.b.inc", 0x494E43},
      {"", 0},
      {"x", 0},
      {"x.", 0},
      {"x.  ", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(extension_code(c.path), c.code);
  }
}

TEST(ChooseFlavour, EveryCExtensionInAnyCaseSelectsCSource) {
  ASSERT_EQ(oracle::c_extensions().size(), 87u);
  for (std::string_view extension : oracle::c_extensions()) {
    SCOPED_TRACE(extension);
    EXPECT_EQ(choose_flavour("OUT." + std::string(extension)), OutputFlavour::CSource);
    std::string lower(extension);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(choose_flavour("out." + lower), OutputFlavour::CSource);
  }
}

TEST(ChooseFlavour, DecidesByTheOutputPath) {
  const struct {
    const char* path;
    OutputFlavour flavour;
  } cases[] = {
      {"x.c", OutputFlavour::CSource},        {"x.h", OutputFlavour::CSource},
      {"x.HPP", OutputFlavour::CSource},      {"x.java", OutputFlavour::CSource},
      {"x.c p", OutputFlavour::CSource},      {"x.pyc", OutputFlavour::Assembly},
      {"x.inc", OutputFlavour::Assembly},     {"x.asm", OutputFlavour::Assembly},
      {"x.txt", OutputFlavour::Assembly},     {"x", OutputFlavour::Assembly},
      {"x.", OutputFlavour::Assembly},        {"my.dir\\out", OutputFlavour::Assembly},
      {"my.c\\out", OutputFlavour::Assembly},  // C and the backslash: "C\O"
      {"my.h/out", OutputFlavour::Assembly},  {"x.hpx", OutputFlavour::Assembly},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(choose_flavour(c.path), c.flavour);
  }
}

}  // namespace
}  // namespace quarlex
