#include "cli_support.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace quarlex::cli {

ScratchDir::ScratchDir() {
  std::string pattern = (fs::temp_directory_path() / "quarlex-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string shell_quote(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

int run_shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string tool_command() {
  const char* override_command = std::getenv("QUARLEX_TOOL");
  if (override_command != nullptr && *override_command != '\0') return override_command;
  return shell_quote(QUARLEX_EXECUTABLE);
}

ToolRun run_quarlex(const fs::path& directory, const std::vector<std::string>& arguments,
                    const std::string& prefix) {
  const fs::path printed_file = directory / ".printed";
  std::string command = "cd " + shell_quote(directory.string()) + " && " + prefix + " " +
                        tool_command();
  for (const std::string& argument : arguments) {
    command += ' ';
    command += shell_quote(argument);
  }
  command += " > " + shell_quote(printed_file.string()) + " </dev/null";
  ToolRun run{run_shell(command), read_file(printed_file)};
  fs::remove(printed_file);
  return run;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string sample_bytes(std::size_t size) {
  std::mt19937 random(static_cast<std::uint32_t>(size));
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>(i % 256 == 0 ? random() : (i * 167 + (i >> 8)) % 256);
  return bytes;
}

std::string mask_date_line(std::string text) {
  const std::string marker = "Date: ";
  const std::size_t start = text.find(marker);
  if (start == std::string::npos) return text;
  const std::size_t end = text.find("\r\n", start);
  text.replace(start + marker.size(), end - start - marker.size(), "<date>");
  return text;
}

std::string expected_include(Flavour flavour, std::string_view source_path, std::string_view label,
                             std::string_view bytes) {
  const bool c = flavour == Flavour::CSource;
  const std::string lead = c ? " " : "; ";
  std::string text = c ? "/*\r\n" : "";
  for (const char* line : {"Do not edit! Call QUARLEX.EXE to update this data.",
                           "QUARLEX (C) 2026 The Quarlex Developers",
                           "Quarlex Developers, 12 Harbour Row", "Westhaven WH4 7QX",
                           "Mail: quarlex@example.org", "Home page: https://quarlex.example.org"})
    text += lead + line + "\r\n";
  text += lead + "Source file: " + std::string(source_path) + "\r\n";
  text += lead + "Date: <date>\r\n";
  if (c)
    text += "\r\n*/\r\nunsigned char " + std::string(label) + "[ ] = {\r\n";
  else
    text += std::string(label) + ":\r\n";

  for (std::size_t start = 0; start < bytes.size(); start += 16) {
    text += c ? (start == 0 ? "" : ",") : "DB ";
    for (std::size_t i = start; i < bytes.size() && i < start + 16; ++i) {
      if (i > start) text += ",";
      text += std::to_string(static_cast<unsigned char>(bytes[i]));
    }
    text += "\r\n";
  }

  const std::string count = std::to_string(bytes.size());
  if (c)
    text += "};\r\n#define _" + std::string(label) + "  " + count;
  else
    text += '_' + std::string(label) + " = " + count;
  return text;
}

}  // namespace quarlex::cli
