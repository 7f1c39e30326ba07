#include "cli_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <stdexcept>

#include "child_process.h"
#include "random_bytes.h"

namespace quarlex::cli {

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

ToolCommand flat_assembler() {
  if (run_shell("command -v fasm > /dev/null") != 0) return {"", "fasm is not installed"};
  // The shell answers 126 where the kernel will not execute the file (a
  // kernel built without 32-bit support); fasm itself, run without
  // arguments, prints its usage and ends with 1.
  constexpr int NOT_EXECUTABLE = 126;
  if (run_shell("fasm > /dev/null 2>&1") != NOT_EXECUTABLE) return {"fasm", ""};
  if (run_shell("command -v qemu-i386 > /dev/null") != 0)
    return {"",
            "this kernel does not run 32-bit programs such as fasm, and qemu-i386 "
            "(Debian: qemu-user) is not installed"};
  return {"qemu-i386 \"$(command -v fasm)\"", ""};
}

std::string signals_held_back() {
  if (QUARLEX_THREAD_SANITIZED && !testing_another_executable())
    return "ThreadSanitizer holds signals back while the converter waits in a system call";
  return "";
}

bool testing_windows_build() { return std::getenv("QUARLEX_WINDOWS_DRIVE_C") != nullptr; }

ToolRun run_quarlex(const fs::path& directory, const std::vector<std::string>& arguments,
                    const std::string& prefix) {
  const fs::path printed_file = directory / ".printed";
  const fs::path errors_file = directory / ".errors";
  // A scratch file that the tool makes outside the output's folder goes
  // into the test's own folder too. (Wine keeps files of its own in TMPDIR;
  // the Windows build's scratch files go where Windows says.)
  std::string command = "cd " + shell_quote(directory.string()) + " && ";
  if (!testing_windows_build())
    command += "export TMPDIR=" + shell_quote(directory.string()) + " && ";
  command += prefix + " " + tool_command();
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

pid_t start_quarlex(const fs::path& directory, const std::vector<std::string>& arguments,
                    int output_descriptor, int ignored) {
  const pid_t child = ::fork();
  if (child != 0) return child;
  if (::chdir(directory.c_str()) != 0 || ::setenv("TMPDIR", directory.c_str(), 1) != 0)
    ::_exit(127);
  const int out = output_descriptor != -1 ? output_descriptor : ::open("/dev/null", O_WRONLY);
  ::dup2(out, STDOUT_FILENO);
  if (ignored != 0) std::signal(ignored, SIG_IGN);
  std::vector<char*> argv{const_cast<char*>(QUARLEX_EXECUTABLE)};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  ::execv(QUARLEX_EXECUTABLE, argv.data());
  ::_exit(127);
}

fs::path wait_for_scratch(pid_t process, const fs::path& directory, std::uintmax_t at_least) {
  // Named or not, the scratch file is open in the process.
  const fs::path descriptors = "/proc/" + std::to_string(process) + "/fd";
  const std::string inside = fs::canonical(directory).string() + "/";
  fs::path found;
  support::wait_until([&] {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(descriptors, error)) {
      const std::string target = fs::read_symlink(entry.path(), error).string();
      struct stat facts {};
      const bool scratch =
          target.find(".quarlex-") != std::string::npos || target.ends_with(" (deleted)");
      if (!error && scratch && target.starts_with(inside) &&
          ::stat(entry.path().c_str(), &facts) == 0 && S_ISREG(facts.st_mode) &&
          static_cast<std::uintmax_t>(facts.st_size) > at_least) {
        found = entry.path();
        return true;
      }
    }
    return false;
  });
  return found;
}

void make_sparse_file(const fs::path& path, std::uintmax_t size) {
  write_file(path, "");
  fs::resize_file(path, size);
}

std::uint64_t inode_of(const fs::path& path) {
  struct stat facts {};
  if (::stat(path.c_str(), &facts) != 0) throw std::runtime_error("cannot stat " + path.string());
  return facts.st_ino;
}

std::set<std::string> names_in(const fs::path& directory) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory))
    names.insert(entry.path().filename().string());
  return names;
}

std::string sample_bytes(std::size_t size) {
  constexpr std::size_t STRIDE = 256;  // one drawn byte in each stride
  const std::string drawn =
      support::random_bytes((size + STRIDE - 1) / STRIDE, static_cast<std::uint32_t>(size));
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = i % STRIDE == 0 ? drawn[i / STRIDE] : static_cast<char>((i * 167 + (i >> 8)) % 256);
  return bytes;
}

}  // namespace quarlex::cli
