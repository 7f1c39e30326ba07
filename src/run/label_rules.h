#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/output_flavour.h"

namespace quarlex {

// The characters a label keeps as they are; every other byte becomes "_".
inline constexpr std::string_view LABEL_CHARS =
    "_ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
static_assert(LABEL_CHARS.size() == 63);

// The label when nothing usable is left of the text it is derived from.
inline constexpr std::string_view DEFAULT_LABEL = "quarlex";

// Derives a label from a path or from the label argument: the text after the
// last backslash, less leading bytes that rank at or below the blank, with
// every byte outside LABEL_CHARS turned into "_". "C:\data\logo image.bmp"
// gives "logo_image_bmp"; "dir/x.bin" gives "dir_x_bin" (only the backslash
// separates components). Returns DEFAULT_LABEL when nothing remains.
// The result has no length limit.
std::string derive_label(std::string_view text);

// Packs up to three characters after the last "." of `path` into one number,
// the first in the most significant used byte, lower-case letters made upper
// case and bytes that rank at or below the blank skipped: "x.cpp" gives
// 0x435050, "x.c p" gives 0x4350. No dot, or nothing after it, gives 0.
std::uint32_t extension_code(std::string_view path);

namespace detail {
constexpr std::uint32_t pack_extension(std::string_view extension) {
  std::uint32_t code = 0;
  for (char c : extension) code = code << 8 | static_cast<unsigned char>(c);
  return code;
}
}  // namespace detail

// The extensions of output files that get the C/C++ flavour; any other
// extension, or none, gets the assembler flavour.
inline constexpr auto c_extension_codes = [] {
  constexpr std::array<std::string_view, 87> EXTENSIONS{
      "C",   "F",   "H",   "L",   "R",   "Y",   "C+",  "C#",  "CC",  "CL",  "CH",  "CP",  "CS",
      "CX",  "C_",  "FI",  "GC",  "H+",  "H-",  "H_",  "H~",  "HH",  "HP",  "I3",  "IO",  "PY",
      "SM",  "4TH", "ADA", "ADB", "APX", "AWX", "C++", "C##", "C86", "CBL", "CFO", "CHH", "CIN",
      "CLA", "CLS", "CLW", "COB", "COO", "CPP", "CSC", "CSS", "CSV", "CXX", "C__", "DLG", "EPS",
      "F77", "F90", "FMK", "FRK", "FRM", "GBL", "GC1", "GC3", "H++", "H--", "H__", "HHH", "HIN",
      "HPP", "H~~", "ICC", "ICS", "IDL", "INL", "INT", "JAV", "KCL", "LOC", "LSP", "MCS", "MOD",
      "PAS", "RED", "RPG", "SCN", "SNO", "SPS", "SPT", "SPX", "STL"};
  std::array<std::uint32_t, EXTENSIONS.size()> codes{};
  for (std::size_t i = 0; i < EXTENSIONS.size(); ++i)
    codes[i] = detail::pack_extension(EXTENSIONS[i]);
  return codes;
}();

// Position of `code` in c_extension_codes counted from 1, or 0 if absent.
std::size_t find_c_extension(std::uint32_t code);

// CSource if the extension of `output_path` is a C/C++ one, else Assembly.
OutputFlavour choose_flavour(std::string_view output_path);

}  // namespace quarlex
