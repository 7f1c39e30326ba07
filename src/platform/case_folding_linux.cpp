#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <string>
#include <string_view>

#include "platform/file_facts.h"

namespace quarlex {
namespace {

constexpr const char* MOUNTS = "/proc/self/mountinfo";
// What separates a mount's own fields from its file system's in MOUNTS.
constexpr std::string_view FIELDS_END = " - ";

// File systems that take names differing in the case of letters only for
// one name: FAT and exFAT in the kernel and through FUSE (fuseblk being the
// FUSE file systems of block devices, FAT and exFAT among them), and the
// network file systems of Windows shares.
constexpr std::array<std::string_view, 8> FOLDING_SYSTEMS{
    "vfat", "msdos", "exfat", "fuse.fusefat", "fuse.exfat", "fuseblk", "cifs", "smb3"};

// The whole of the process table's file `path`, read with plain system
// calls: a C++ stream would pull the library's stream and locale set-up
// into every run of this static program, which costs it more memory than
// the rest of a small run.
std::string whole_file(const char* path) {
  std::string text;
  const int file = ::open(path, O_RDONLY | O_CLOEXEC);
  if (file == -1) return text;
  constexpr std::size_t PIECE = 4096;
  for (;;) {
    const std::size_t at = text.size();
    text.resize(at + PIECE);
    const ssize_t got = ::read(file, text.data() + at, PIECE);
    text.resize(at + static_cast<std::size_t>(got > 0 ? got : 0));
    if (got <= 0) break;
  }
  ::close(file);
  return text;
}

// The type of the file system on the device `device` ("ext4",
// "fuse.fusefat"), or "" where the process table does not tell. Each line
// of MOUNTS gives the device as its third field, "major:minor", and the
// type as the first field after FIELDS_END. By the device, not the mount's
// number: every kernel and emulator gives a file's device, where the
// mount's number is missing before Linux 5.8 and left zero by emulators
// that do not know it; bind mounts of one device share its type.
std::string mount_type(dev_t device) {
  const std::string mounts = whole_file(MOUNTS);
  std::string wanted(1, ' ');
  wanted.append(std::to_string(major(device))).append(1, ':');
  wanted.append(std::to_string(minor(device))).append(1, ' ');
  for (std::size_t start = 0; start < mounts.size();) {
    std::size_t end = mounts.find('\n', start);
    if (end == std::string::npos) end = mounts.size();
    const std::string_view line(mounts.data() + start, end - start);
    start = end + 1;
    // The mount's own number and its parent's come first: digits only.
    const std::size_t device_field = line.find(' ', line.find(' ') + 1);
    if (device_field == std::string_view::npos ||
        line.compare(device_field, wanted.size(), wanted) != 0)
      continue;
    const std::size_t fields = line.find(FIELDS_END);
    if (fields == std::string_view::npos) return {};
    const std::string_view rest = line.substr(fields + FIELDS_END.size());
    return std::string(rest.substr(0, rest.find(' ')));
  }
  return {};
}

// Whether the folder at `path` folds the case of the names in it (ext4,
// f2fs and tmpfs folders made with chattr +F).
bool folder_folds_case(const std::string& path) {
  const int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder == -1) return false;
  int flags = 0;  // an int, as the kernel stores it
  const bool folds = ::ioctl(folder, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL) != 0;
  ::close(folder);
  return folds;
}

}  // namespace

bool names_fold_case(int descriptor) {
  struct stat facts {};
  if (::fstat(descriptor, &facts) == 0) {
    const std::string type = mount_type(facts.st_dev);
    for (std::string_view folding : FOLDING_SYSTEMS)
      if (type == folding) return true;
  }
  const std::string path = descriptor_path(descriptor);
  const std::size_t slash = path.rfind('/');
  return slash != std::string::npos && folder_folds_case(slash == 0 ? "/" : path.substr(0, slash));
}

}  // namespace quarlex
