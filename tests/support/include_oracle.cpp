#include "include_oracle.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <set>

namespace quarlex::oracle {
namespace {

bool ranks_at_or_below_blank(unsigned char c) { return c <= 32 || c >= 128; }

bool is_label_char(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

std::string label(std::string_view text) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\\') start = i + 1;
  while (start < text.size() && ranks_at_or_below_blank(static_cast<unsigned char>(text[start])))
    ++start;
  if (start == text.size()) return "quarlex";
  std::string result;
  for (std::size_t i = start; i < text.size(); ++i)
    result += is_label_char(static_cast<unsigned char>(text[i])) ? text[i] : '_';
  return result;
}

std::string extension(std::string_view path) {
  std::size_t dot = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); ++i)
    if (path[i] == '.') dot = i;
  std::string taken;
  if (dot == std::string_view::npos) return taken;
  for (std::size_t i = dot + 1; i < path.size() && taken.size() < 3; ++i) {
    char c = path[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (!ranks_at_or_below_blank(static_cast<unsigned char>(c))) taken += c;
  }
  return taken;
}

std::uint32_t extension_code(std::string_view path) {
  std::uint32_t code = 0;
  for (char c : extension(path)) code = code * 256 + static_cast<unsigned char>(c);
  return code;
}

// As the README and the manual page print them, one blank apart.
constexpr std::string_view C_EXTENSION_TABLE =
    "C F H L R Y C+ C# CC CL CH CP CS CX C_ FI GC H+ H- H_ H~ HH HP I3 IO PY SM "
    "4TH ADA ADB APX AWX C++ C## C86 CBL CFO CHH CIN CLA CLS CLW COB COO CPP CSC "
    "CSS CSV CXX C__ DLG EPS F77 F90 FMK FRK FRM GBL GC1 GC3 H++ H-- H__ HHH "
    "HIN HPP H~~ ICC ICS IDL INL INT JAV KCL LOC LSP MCS MOD PAS RED RPG SCN SNO "
    "SPS SPT SPX STL";

const std::vector<std::string>& c_extensions() {
  static const std::vector<std::string> codes = [] {
    std::vector<std::string> split;
    for (std::size_t at = 0; at < C_EXTENSION_TABLE.size();) {
      const std::size_t blank = std::min(C_EXTENSION_TABLE.find(' ', at), C_EXTENSION_TABLE.size());
      split.emplace_back(C_EXTENSION_TABLE.substr(at, blank - at));
      at = blank + 1;
    }
    return split;
  }();
  return codes;
}

Flavour flavour(std::string_view output_path) {
  static const std::set<std::string> codes(c_extensions().begin(), c_extensions().end());
  return codes.count(extension(output_path)) != 0 ? Flavour::CSource : Flavour::Assembly;
}

std::string data_line(std::string_view prefix, std::string_view bytes) {
  std::string line(prefix);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) line += ',';
    std::array<char, 4> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(),
                                   static_cast<unsigned char>(bytes[i]))
                         .ptr;
    line.append(digits.data(), end);
  }
  return line + "\r\n";
}

std::string mask_date_line(std::string text) {
  const std::string marker = "Date: ";
  const std::size_t start = text.find(marker);
  if (start == std::string::npos) return text;
  const std::size_t end = text.find("\r\n", start);
  text.replace(start + marker.size(), end - start - marker.size(), "<date>");
  return text;
}

std::string header_path(Flavour flavour, std::string_view source_path) {
  std::string shown;
  for (char c : source_path) {
    const auto byte = static_cast<unsigned char>(c);
    shown += byte < 32 || byte == 127 ? '?' : c;
  }
  if (flavour == Flavour::Assembly) return shown;
  // Within a C comment no "/*" may open and no "*/" close: a backslash
  // goes between the two characters of each.
  std::string escaped;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    escaped += shown[i];
    const char next = i + 1 < shown.size() ? shown[i + 1] : '\0';
    if ((shown[i] == '/' && next == '*') || (shown[i] == '*' && next == '/')) escaped += '\\';
  }
  return escaped;
}

std::string include_file(Flavour flavour, std::string_view source_path, std::string_view label,
                         std::string_view bytes) {
  const bool c = flavour == Flavour::CSource;
  const std::string lead = c ? " " : "; ";
  std::string text = c ? "/*\r\n" : "";
  for (const char* line :
       {"Do not edit! Call QUARLEX.EXE to update this data.",
        "QUARLEX (C) 2026 The Quarlex Developers", "Quarlex Developers, 12 Harbour Row",
        "Westhaven WH4 7QX", "Mail: quarlex@example.org", "Home page: https://quarlex.example.org"})
    text += lead + line + "\r\n";
  text += lead + "Source file: " + header_path(flavour, source_path) + "\r\n";
  text += lead + "Date: <date>\r\n";
  if (c)
    text += "\r\n*/\r\nunsigned char " + std::string(label) + "[ ] = {\r\n";
  else
    text += std::string(label) + ":\r\n";

  for (std::size_t start = 0; start < bytes.size(); start += 16)
    text += data_line(c ? (start == 0 ? "" : ",") : "DB ", bytes.substr(start, 16));

  const std::string count = std::to_string(bytes.size());
  if (c)
    text += "};\r\n#define _" + std::string(label) + "  " + count;
  else
    text += '_' + std::string(label) + " = " + count;
  return text;
}

}  // namespace quarlex::oracle
