#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <string_view>

#include "write/output_file.h"
#include "write/scratch_name.h"

namespace quarlex {
namespace {

// As many links as the system itself follows before it gives up with ELOOP.
constexpr int MAX_LINK_HOPS = 40;
constexpr mode_t NEW_FILE_MODE = 0666;
constexpr mode_t PERMISSION_BITS = 07777;
constexpr int SCRATCH_ATTEMPTS = 100;
constexpr int FIRST_FREE_DESCRIPTOR = 3;

// Only searching the folder is needed for the *at calls; O_PATH asks no
// more of it where the system has it.
#ifdef O_PATH
constexpr int FOLDER_FLAGS = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int FOLDER_FLAGS = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// ---------------------------------------------------------------------------
// Removing the scratch file when an interrupt, a termination request or a
// hang-up ends the run. A handler may call only async-signal-safe functions,
// so what it needs sits in fixed storage: the folder's descriptor and the
// name. One run has one scratch file, so there is one such slot.

constexpr std::array<int, 3> CLEANUP_SIGNALS{SIGINT, SIGTERM, SIGHUP};

struct PendingScratch {
  volatile std::sig_atomic_t armed = 0;
  int folder = -1;
  std::array<char, SCRATCH_NAME_LIMIT + 1> name{};
  std::array<struct sigaction, CLEANUP_SIGNALS.size()> previous{};
  std::array<bool, CLEANUP_SIGNALS.size()> handled{};
};
PendingScratch pending;

extern "C" void remove_scratch_and_end(int signal_number) {
  if (pending.armed != 0) ::unlinkat(pending.folder, pending.name.data(), 0);
  // Then the signal does what it did before: with the default action it
  // ends the process, with the status a shell reports for that signal,
  // once this handler returns.
  for (std::size_t i = 0; i < CLEANUP_SIGNALS.size(); ++i)
    if (CLEANUP_SIGNALS[i] == signal_number)
      ::sigaction(signal_number, &pending.previous[i], nullptr);
  ::raise(signal_number);
}

sigset_t cleanup_signal_set() {
  sigset_t set;
  ::sigemptyset(&set);
  for (int signal_number : CLEANUP_SIGNALS) ::sigaddset(&set, signal_number);
  return set;
}

// Holds the cleanup signals back while the scratch file is created and
// recorded, so that none can leave it behind unrecorded.
class SignalsHeldBack {
 public:
  SignalsHeldBack() {
    const sigset_t set = cleanup_signal_set();
    ::pthread_sigmask(SIG_BLOCK, &set, &previous_);
  }
  ~SignalsHeldBack() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  SignalsHeldBack(const SignalsHeldBack&) = delete;
  SignalsHeldBack& operator=(const SignalsHeldBack&) = delete;

 private:
  sigset_t previous_;
};

// REQUIRES: the cleanup signals are held back.
void arm_cleanup(int folder, const std::string& name) {
  if (pending.armed != 0) return;  // another scratch file is guarded already
  pending.folder = folder;
  std::memcpy(pending.name.data(), name.c_str(), name.size() + 1);
  struct sigaction action {};
  action.sa_handler = remove_scratch_and_end;
  ::sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < CLEANUP_SIGNALS.size(); ++i) {
    ::sigaction(CLEANUP_SIGNALS[i], nullptr, &pending.previous[i]);
    // Whoever started us chose to ignore it (nohup, a shell's trap ''):
    // it stays ignored.
    pending.handled[i] = pending.previous[i].sa_handler != SIG_IGN;
    if (pending.handled[i]) ::sigaction(CLEANUP_SIGNALS[i], &action, nullptr);
  }
  pending.armed = 1;
}

void disarm_cleanup(int folder) {
  if (pending.armed == 0 || pending.folder != folder) return;
  const SignalsHeldBack held;
  for (std::size_t i = 0; i < CLEANUP_SIGNALS.size(); ++i)
    if (pending.handled[i]) ::sigaction(CLEANUP_SIGNALS[i], &pending.previous[i], nullptr);
  pending.armed = 0;
}

// ---------------------------------------------------------------------------

// The descriptor that `path` names when it is one the process has open
// already (/dev/stdout, /dev/fd/3, /proc/self/fd/3), else -1. Opening such a
// name again would empty the file behind it, which the shell may have
// opened for appending.
int named_descriptor(std::string_view path) {
  constexpr std::array<std::pair<std::string_view, int>, 3> STANDARD_NAMES{
      {{"/dev/stdin", STDIN_FILENO},
       {"/dev/stdout", STDOUT_FILENO},
       {"/dev/stderr", STDERR_FILENO}}};
  for (const auto& [name, descriptor] : STANDARD_NAMES)
    if (path == name) return descriptor;
  constexpr std::size_t MAX_DIGITS = 9;  // any descriptor number fits an int
  for (std::string_view folder :
       {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/")}) {
    if (!path.starts_with(folder)) continue;
    const std::string_view digits = path.substr(folder.size());
    if (digits.empty() || digits.size() > MAX_DIGITS ||
        digits.find_first_not_of("0123456789") != std::string_view::npos)
      return -1;
    int descriptor = 0;
    for (char digit : digits) descriptor = descriptor * 10 + (digit - '0');
    return descriptor;
  }
  return -1;
}

// The folder part of `path`, with its final slash ("" for a bare name).
std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows `path` through symbolic links to the file they finally lead to,
// which may not exist (a dangling link). Empty if the links go round or
// cannot be read; the caller then opens `path` as it is and gets the
// system's answer.
std::string follow_links(const std::string& path) {
  std::string current = path;
  for (int hop = 0; hop <= MAX_LINK_HOPS; ++hop) {
    struct stat facts {};
    if (::lstat(current.c_str(), &facts) != 0 || !S_ISLNK(facts.st_mode)) return current;
    std::string target(static_cast<std::size_t>(facts.st_size) + 1, '\0');
    const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
    // A link that changed size in between: let the open decide.
    if (length < 0 || static_cast<std::size_t>(length) >= target.size()) return {};
    target.resize(static_cast<std::size_t>(length));
    current = target.starts_with('/') ? target : folder_of(current) + target;
  }
  return {};
}

std::uint64_t scratch_salt(int attempt) {
  const auto now =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  constexpr std::uint64_t MIX = 0x9E37'79B9'7F4A'7C15u;
  return (now ^ (static_cast<std::uint64_t>(::getpid()) << 32)) * MIX +
         static_cast<std::uint64_t>(attempt);
}

// Gives the new file what the old one had, or what a new file gets.
// Owner and group only where the user may set them.
void copy_permissions(int scratch, const struct stat* old_file) {
  if (old_file == nullptr) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(scratch, NEW_FILE_MODE & ~mask);
    return;
  }
  // First owner and group, since changing them may clear set-id bits.
  if (::fchown(scratch, old_file->st_uid, old_file->st_gid) != 0)
    ::fchown(scratch, static_cast<uid_t>(-1), old_file->st_gid);
  ::fchmod(scratch, old_file->st_mode & PERMISSION_BITS);
}

class ScratchOutput final : public OutputFile {
 public:
  ScratchOutput(int folder, std::string final_name, std::string name, std::FILE* file)
      : folder_(folder), final_name_(std::move(final_name)), name_(std::move(name)), file_(file) {}

  ~ScratchOutput() override {
    if (!installed_) ::unlinkat(folder_, name_.c_str(), 0);
    disarm_cleanup(folder_);
    ::close(folder_);
  }

  ScratchOutput(const ScratchOutput&) = delete;
  ScratchOutput& operator=(const ScratchOutput&) = delete;

  std::FILE* stream() const override { return file_; }
  bool on_disk() const override { return true; }

  int install() override {
    if (::renameat(folder_, name_.c_str(), folder_, final_name_.c_str()) != 0) return errno;
    installed_ = true;
    return 0;
  }

 private:
  int folder_;
  std::string final_name_;
  std::string name_;
  std::FILE* file_;
  bool installed_ = false;
};

OutputOpening opened_in_place(std::FILE* file) {
  if (file == nullptr) return {nullptr, errno};
  struct stat facts {};
  const bool on_disk = ::fstat(::fileno(file), &facts) == 0 && S_ISREG(facts.st_mode);
  return {in_place_output(file, on_disk), 0};
}

OutputOpening open_in_place(const char* path) { return opened_in_place(std::fopen(path, "wb")); }

// Writes in place through `descriptor`, which this takes over: it is
// closed if no stream can be made on it.
OutputOpening open_in_place(int descriptor) {
  std::FILE* file = ::fdopen(descriptor, "wb");
  if (file == nullptr) {
    const int error = errno;
    ::close(descriptor);
    return {nullptr, error};
  }
  return opened_in_place(file);
}

// Writes through `descriptor`. Neither a file nor an error if it is open
// only for reading.
OutputOpening open_descriptor(int descriptor) {
  const int flags = ::fcntl(descriptor, F_GETFL);
  if (flags == -1) return {nullptr, errno};
  if ((flags & O_ACCMODE) == O_RDONLY) return {};
  // A copy, so that closing the output leaves the process's own descriptor
  // (standard output, say) open for messages.
  const int copy = ::fcntl(descriptor, F_DUPFD_CLOEXEC, FIRST_FREE_DESCRIPTOR);
  if (copy == -1) return {nullptr, errno};
  return open_in_place(copy);
}

// Creates a scratch file in `folder` for `final_name`, or returns -1.
int create_scratch(int folder, const std::string& final_name, std::string& name) {
  for (int attempt = 0; attempt < SCRATCH_ATTEMPTS; ++attempt) {
    name = scratch_name(final_name, scratch_salt(attempt));
    const int scratch =
        ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                 S_IRUSR | S_IWUSR);
    if (scratch != -1 || errno != EEXIST) return scratch;
  }
  return -1;
}

// A scratch file beside `final_path`, or nullptr if the folder takes none.
std::unique_ptr<OutputFile> open_scratch_beside(const std::string& final_path,
                                                const struct stat* old_file) {
  const std::string folder_path = folder_of(final_path);
  const std::string final_name = final_path.substr(folder_path.size());
  if (final_name.empty() || final_name == "." || final_name == "..") return nullptr;
  const int folder = ::open(folder_path.empty() ? "." : folder_path.c_str(), FOLDER_FLAGS);
  if (folder == -1) return nullptr;

  const SignalsHeldBack held;
  std::string name;
  const int scratch = create_scratch(folder, final_name, name);
  std::FILE* file = scratch == -1 ? nullptr : ::fdopen(scratch, "wb");
  if (file == nullptr) {
    if (scratch != -1) {
      ::unlinkat(folder, name.c_str(), 0);
      ::close(scratch);
    }
    ::close(folder);
    return nullptr;
  }
  copy_permissions(scratch, old_file);
  arm_cleanup(folder, name);
  return std::make_unique<ScratchOutput>(folder, final_name, name, file);
}

}  // namespace

OutputOpening open_output_file(const char* path) {
  if (const int descriptor = named_descriptor(path); descriptor != -1) {
    OutputOpening opened = open_descriptor(descriptor);
    if (opened.file != nullptr || opened.error != 0) return opened;
    // A descriptor open only for reading: the name is opened anew, as
    // any other name.
  }

  const std::string final_path = follow_links(path);
  struct stat facts {};
  if (final_path.empty()) return open_in_place(path);
  if (::stat(final_path.c_str(), &facts) != 0) {
    if (errno != ENOENT) return open_in_place(path);
    // A new file, or the target of a dangling link.
    std::unique_ptr<OutputFile> scratch = open_scratch_beside(final_path, nullptr);
    return scratch != nullptr ? OutputOpening{std::move(scratch), 0} : open_in_place(path);
  }
  // Devices, pipes and directories are opened as they are: a device or a
  // pipe is written in place, a directory is refused.
  if (!S_ISREG(facts.st_mode)) return open_in_place(path);

  // A file the user may not write is refused even where the folder would
  // let a new file take its place. The check opens it without emptying it;
  // O_NONBLOCK keeps a pipe swapped in meanwhile from holding us up.
  const int existing = ::open(final_path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (existing == -1) return {nullptr, errno};
  if (::fstat(existing, &facts) != 0 || !S_ISREG(facts.st_mode)) {
    ::close(existing);
    return open_in_place(path);
  }
  if (std::unique_ptr<OutputFile> scratch = open_scratch_beside(final_path, &facts)) {
    ::close(existing);
    return {std::move(scratch), 0};
  }
  // No new file can be made beside it (a folder the user may not write):
  // the file is written in place, emptied first.
  const int flags = ::fcntl(existing, F_GETFL);
  if (::ftruncate(existing, 0) != 0 || flags == -1 ||
      ::fcntl(existing, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    const int error = errno;
    ::close(existing);
    return {nullptr, error};
  }
  return open_in_place(existing);
}

}  // namespace quarlex
