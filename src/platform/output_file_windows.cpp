#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "write/output_file.h"
#include "write/scratch_name.h"

namespace quarlex {
namespace {

constexpr int SCRATCH_ATTEMPTS = 100;
// How long a replacement that another process holds up is tried again:
// two seconds in all.
constexpr int REPLACE_ATTEMPTS = 200;
constexpr DWORD REPLACE_RETRY_MS = 10;
// Room for any path the ANSI file functions take without long-path support.
constexpr std::size_t PATH_ROOM = MAX_PATH + SCRATCH_NAME_LIMIT + 1;

// ---------------------------------------------------------------------------
// Removing the scratch file when Ctrl+C or a termination request ends the
// run. The handler runs while the file is open; it was opened with
// FILE_SHARE_DELETE, so the deletion takes effect as the process ends.

constexpr std::array<int, 2> CLEANUP_SIGNALS{SIGINT, SIGTERM};

struct PendingScratch {
  volatile std::sig_atomic_t armed = 0;
  std::array<char, PATH_ROOM> path{};
  std::array<void (*)(int), CLEANUP_SIGNALS.size()> previous{};
};
PendingScratch pending;

extern "C" void remove_scratch_and_end(int signal_number) {
  if (pending.armed != 0) ::DeleteFileA(pending.path.data());
  for (std::size_t i = 0; i < CLEANUP_SIGNALS.size(); ++i)
    if (CLEANUP_SIGNALS[i] == signal_number) std::signal(signal_number, pending.previous[i]);
  std::raise(signal_number);
}

void arm_cleanup(const std::string& path) {
  if (pending.armed != 0 || path.size() >= pending.path.size()) return;
  std::memcpy(pending.path.data(), path.c_str(), path.size() + 1);
  for (std::size_t i = 0; i < CLEANUP_SIGNALS.size(); ++i) {
    pending.previous[i] = std::signal(CLEANUP_SIGNALS[i], remove_scratch_and_end);
    // A signal ignored at the start stays ignored.
    if (pending.previous[i] == SIG_IGN) std::signal(CLEANUP_SIGNALS[i], SIG_IGN);
  }
  pending.armed = 1;
}

void disarm_cleanup(const std::string& path) {
  if (pending.armed == 0 || path != pending.path.data()) return;
  for (std::size_t i = 0; i < CLEANUP_SIGNALS.size(); ++i)
    std::signal(CLEANUP_SIGNALS[i], pending.previous[i]);
  pending.armed = 0;
}

// ---------------------------------------------------------------------------

// The C library's error code closest to the system's last error.
int last_error_code() {
  switch (::GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    default:
      return EIO;
  }
}

// The folder part of `path` with its separator, "C:" for "C:x", "" for a
// bare name.
std::string folder_of(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\");
  if (separator != std::string::npos) return path.substr(0, separator + 1);
  constexpr std::size_t DRIVE_PREFIX = 2;
  if (path.size() >= DRIVE_PREFIX && path[1] == ':') return path.substr(0, DRIVE_PREFIX);
  return {};
}

std::uint64_t scratch_salt(int attempt) {
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  constexpr std::uint64_t MIX = 0x9E37'79B9'7F4A'7C15u;
  return (static_cast<std::uint64_t>(now.QuadPart) ^
          (static_cast<std::uint64_t>(::GetCurrentProcessId()) << 32)) *
             MIX +
         static_cast<std::uint64_t>(attempt);
}

class ScratchOutput final : public OutputFile {
 public:
  ScratchOutput(std::string final_path, std::string path, std::FILE* file)
      : final_path_(std::move(final_path)), path_(std::move(path)), file_(file) {
    arm_cleanup(path_);
  }

  ~ScratchOutput() override {
    if (!installed_) ::DeleteFileA(path_.c_str());
    disarm_cleanup(path_);
  }

  ScratchOutput(const ScratchOutput&) = delete;
  ScratchOutput& operator=(const ScratchOutput&) = delete;

  std::FILE* stream() const override { return file_; }
  bool on_disk() const override { return true; }

  // One call replaces the old file, if there is one, by the new. It fails
  // while another process has the old file open without sharing deletion,
  // or is replacing it at the same moment (a parallel build writing one
  // output twice; a virus scanner), so it is tried again for a while.
  int install() override {
    for (int attempt = 1;; ++attempt) {
      if (::MoveFileExA(path_.c_str(), final_path_.c_str(), MOVEFILE_REPLACE_EXISTING)) break;
      const DWORD error = ::GetLastError();
      if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) ||
          attempt == REPLACE_ATTEMPTS)
        return last_error_code();
      ::Sleep(REPLACE_RETRY_MS);
    }
    installed_ = true;
    return 0;
  }

 private:
  std::string final_path_;
  std::string path_;
  std::FILE* file_;
  bool installed_ = false;
};

OutputOpening open_in_place(const char* path, bool on_disk) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return {nullptr, errno};
  return {in_place_output(file, on_disk), 0};
}

// A scratch file beside `final_path`, or nullptr if its folder takes none.
std::unique_ptr<OutputFile> open_scratch_beside(const std::string& final_path) {
  const std::string folder = folder_of(final_path);
  const std::string final_name = final_path.substr(folder.size());
  if (final_name.empty() || final_name == "." || final_name == "..") return nullptr;
  for (int attempt = 0; attempt < SCRATCH_ATTEMPTS; ++attempt) {
    const std::string path = folder + scratch_name(final_name, scratch_salt(attempt));
    const HANDLE handle =
        ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (::GetLastError() == ERROR_FILE_EXISTS) continue;
      return nullptr;
    }
    const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    std::FILE* file = descriptor == -1 ? nullptr : ::_fdopen(descriptor, "wb");
    if (file == nullptr) {
      if (descriptor == -1)
        ::CloseHandle(handle);
      else
        ::_close(descriptor);
      ::DeleteFileA(path.c_str());
      return nullptr;
    }
    return std::make_unique<ScratchOutput>(final_path, path, file);
  }
  return nullptr;
}

}  // namespace

OutputOpening open_output_file(const char* path) {
  // Opening for writing without emptying tells whether the user may write
  // it, and what it is, before anything changes.
  const HANDLE existing =
      ::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (existing == INVALID_HANDLE_VALUE) {
    // A new file: made beside, put in place at the end. Anything else is
    // opened as it is and gives the system's answer (a folder, a path
    // through a missing folder, no permission).
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) {
      if (std::unique_ptr<OutputFile> scratch = open_scratch_beside(path))
        return {std::move(scratch), 0};
    }
    return open_in_place(path, true);
  }
  const bool disk_file = ::GetFileType(existing) == FILE_TYPE_DISK;
  ::CloseHandle(existing);
  // Devices (NUL, CON) and pipes are written in place.
  if (!disk_file) return open_in_place(path, false);
  if (std::unique_ptr<OutputFile> scratch = open_scratch_beside(path))
    return {std::move(scratch), 0};
  return open_in_place(path, true);
}

}  // namespace quarlex
