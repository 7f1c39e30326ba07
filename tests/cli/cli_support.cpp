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
  if (testing_another_executable()) return std::getenv("QUARLEX_TOOL");
  return shell_quote(QUARLEX_EXECUTABLE);
}

bool testing_another_executable() {
  const char* override_command = std::getenv("QUARLEX_TOOL");
  return override_command != nullptr && *override_command != '\0';
}

bool testing_windows_build() { return std::getenv("QUARLEX_WINDOWS_DRIVE_C") != nullptr; }

ToolRun run_quarlex(const fs::path& directory, const std::vector<std::string>& arguments,
                    const std::string& prefix) {
  const fs::path printed_file = directory / ".printed";
  const fs::path errors_file = directory / ".errors";
  std::string command =
      "cd " + shell_quote(directory.string()) + " && " + prefix + " " + tool_command();
  for (const std::string& argument : arguments) {
    command += ' ';
    command += shell_quote(argument);
  }
  command += " > " + shell_quote(printed_file.string()) + " 2> " +
             shell_quote(errors_file.string()) + " </dev/null";
  ToolRun run{run_shell(command), read_file(printed_file), read_file(errors_file)};
  fs::remove(printed_file);
  fs::remove(errors_file);
  return run;
}

std::set<std::string> names_in(const fs::path& directory) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory))
    names.insert(entry.path().filename().string());
  return names;
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

}  // namespace quarlex::cli
