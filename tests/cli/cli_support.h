#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "include_oracle.h"
#include "scratch_folder.h"

namespace quarlex::cli {

namespace fs = std::filesystem;

using oracle::Flavour;
using oracle::include_file;
using oracle::mask_date_line;

struct ToolRun {
  int status;           // the exit status, or -1 if the process did not exit
  std::string printed;  // everything written to standard output
  std::string errors;   // everything written to standard error
};

using support::read_file;
using support::ScratchFolder;
using support::write_file;

// Quotes `text` for the POSIX shell, any byte but NUL allowed.
std::string shell_quote(std::string_view text);

// Runs `command` with /bin/sh and returns its exit status (-1 if killed).
int run_shell(const std::string& command);

// The command that starts the converter: $QUARLEX_TOOL if set (for example
// "wine build-win/quarlex.exe"), else the executable of this build.
std::string tool_command();

// Whether the tests run another build than this one's (QUARLEX_TOOL), such
// as the Windows executable under Wine or a cross-built one under qemu:
// tests that start this build's executable themselves do not apply.
bool testing_another_executable();

// Whether that build is the Windows one, under Wine (check_wine.sh sets
// QUARLEX_WINDOWS_DRIVE_C): Linux names, links, users, permission bits and
// the Linux C library's wording do not reach it.
bool testing_windows_build();

// How a test starts a program the kernel may not run itself.
struct ToolCommand {
  std::string command;      // for the shell; empty where the program cannot run here
  std::string skip_reason;  // then why, for GTEST_SKIP
};

// fasm, which is a 32-bit x86 program: started directly where the kernel
// runs such programs, through qemu-i386 (qemu-user) where it refuses them.
ToolCommand flat_assembler();

// Put before the converter's command, runs it under strace, whose options
// follow (-e inject= puts failures and signals into its calls).
// LeakSanitizer cannot run under a tracer: leaks are not looked for there.
inline const std::string UNDER_STRACE =
    "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 strace -f -o /dev/null";

// Why this build's executable cannot be signalled while it waits in a
// system call, or "" where it can: ThreadSanitizer holds a signal back
// until the program next calls a function it watches, and a program that
// waits in the C library's own read (a pipe that stays open) or in a call
// a tracer has stopped never does, so the test would wait for good.
std::string signals_held_back();

// Runs the converter in `directory` with `arguments`; `prefix` is put
// before the command as it stands: variables ("TZ=UTC0") or shell commands
// that set limits ("ulimit -f 100;").
ToolRun run_quarlex(const fs::path& directory, const std::vector<std::string>& arguments,
                    const std::string& prefix = "");

// Starts this build's converter with `arguments` in `directory` (TMPDIR
// there too), standard output on `output_descriptor` (or /dev/null if -1),
// the signal `ignored` ignored from the start (none if 0).
pid_t start_quarlex(const fs::path& directory, const std::vector<std::string>& arguments,
                    int output_descriptor = -1, int ignored = 0);

// The scratch file, named or not, that the converter started as
// `process` writes in `directory`, once it holds more than `at_least`
// bytes, as the process table names its descriptor; empty if none comes
// within ten seconds.
fs::path wait_for_scratch(pid_t process, const fs::path& directory, std::uintmax_t at_least);

// A file of `size` bytes that takes no room on disk: all zeros.
void make_sparse_file(const fs::path& path, std::uintmax_t size);

std::uint64_t inode_of(const fs::path& path);

// The names of everything in `directory`, hidden ones included.
std::set<std::string> names_in(const fs::path& directory);

// `size` bytes in which every value occurs, in an order that is not a
// simple count, the same for every run.
std::string sample_bytes(std::size_t size);

}  // namespace quarlex::cli
