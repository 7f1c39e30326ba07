#include <fcntl.h>
#include <linux/magic.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

#include "platform/file_place_posix.h"
#include "platform/signal_cleanup.h"

namespace quarlex {
namespace {

// Only searching the folder is needed for the *at calls.
constexpr int FOLDER_FLAGS = O_PATH | O_DIRECTORY | O_CLOEXEC;
// As many links as the system itself follows before it gives up.
constexpr int MAX_LINK_HOPS = 40;
constexpr mode_t NEW_FILE_MODE = 0666;
constexpr mode_t USER_ONLY_MODE = 0600;
constexpr const char* LINK_PROTECTION_SETTING = "/proc/sys/fs/protected_symlinks";
constexpr const char* REGULAR_PROTECTION_SETTING = "/proc/sys/fs/protected_regular";
constexpr const char* FIFO_PROTECTION_SETTING = "/proc/sys/fs/protected_fifos";
// The strictest value of those two settings: also group-writable folders.
constexpr int STRICTEST_PROTECTION = 2;
constexpr const char* OWN_DESCRIPTORS = "/proc/self/fd";
constexpr const char* DEFAULT_SCRATCH_FOLDER = "/tmp";

class Descriptor {
 public:
  explicit Descriptor(int descriptor = -1) : descriptor_(descriptor) {}
  ~Descriptor() {
    if (descriptor_ != -1) ::close(descriptor_);
  }
  Descriptor(Descriptor&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    std::swap(descriptor_, other.descriptor_);
    return *this;
  }
  int get() const { return descriptor_; }
  bool open() const { return descriptor_ != -1; }
  int release() { return std::exchange(descriptor_, -1); }

 private:
  int descriptor_;
};

struct PathParts {
  std::string folder;
  std::string name;
};

// "a/b/c" gives "a/b" and "c"; "c" gives "." and "c"; "/c" gives "/" and "c".
PathParts split_path(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {".", std::string(path)};
  return {slash == 0 ? std::string("/") : std::string(path.substr(0, slash)),
          std::string(path.substr(slash + 1))};
}

bool same_file(const struct stat& first, const struct stat& second) {
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// Whether the system refuses links in sticky, world-writable folders that
// neither the follower nor the folder's owner owns. Where the setting
// cannot be read, the stricter reading holds.
bool system_protects_links() {
  const Descriptor setting(::open(LINK_PROTECTION_SETTING, O_RDONLY | O_CLOEXEC));
  char value = '1';
  if (setting.open() && ::read(setting.get(), &value, 1) != 1) value = '1';
  return value != '0';
}

// The value, 0 to 2, of the protection setting at `path`; where it cannot
// be read, the strictest.
int protection_setting(const char* path) {
  const Descriptor setting(::open(path, O_RDONLY | O_CLOEXEC));
  char value = '0' + STRICTEST_PROTECTION;
  if (!setting.open() || ::read(setting.get(), &value, 1) != 1) value = '0' + STRICTEST_PROTECTION;
  return value >= '0' && value <= '0' + STRICTEST_PROTECTION ? value - '0' : STRICTEST_PROTECTION;
}

// Whether the system refuses to open the existing `file` in `folder` for
// creation (a shell's >), as it does in sticky folders for files that
// neither the user nor the folder's owner owns, where it protects them
// (fs.protected_regular, fs.protected_fifos): at 1 in world-writable
// folders, at 2 in group-writable ones too. Root is no exception.
bool refused_in_sticky_folder(const struct stat& folder, const struct stat& file) {
  if ((folder.st_mode & S_ISVTX) == 0) return false;
  int setting = STRICTEST_PROTECTION;
  if (S_ISREG(file.st_mode)) setting = protection_setting(REGULAR_PROTECTION_SETTING);
  if (S_ISFIFO(file.st_mode)) setting = protection_setting(FIFO_PROTECTION_SETTING);
  if (setting == 0 || file.st_uid == folder.st_uid || file.st_uid == ::geteuid()) return false;
  if ((folder.st_mode & S_IWOTH) != 0) return true;
  return (folder.st_mode & S_IWGRP) != 0 && setting >= STRICTEST_PROTECTION &&
         (S_ISREG(file.st_mode) || S_ISFIFO(file.st_mode));
}

// The system's own rule for following the link `link` in `folder`.
bool may_follow(const struct stat& folder, const struct stat& link) {
  if (link.st_uid == ::geteuid()) return true;
  constexpr mode_t STICKY_AND_WORLD_WRITABLE = S_ISVTX | S_IWOTH;
  if ((folder.st_mode & STICKY_AND_WORLD_WRITABLE) != STICKY_AND_WORLD_WRITABLE) return true;
  return folder.st_uid == link.st_uid;
}

// The descriptor number that `name` spells, or -1: unsigned digits to its
// end, nothing else.
int descriptor_number(std::string_view name) {
  unsigned number = 0;
  const auto [end, status] = std::from_chars(name.data(), name.data() + name.size(), number);
  if (name.empty() || status != std::errc() || end != name.data() + name.size() ||
      number > static_cast<unsigned>(std::numeric_limits<int>::max()))
    return -1;
  return static_cast<int>(number);
}

bool on_process_table(int folder) {
  struct statfs facts {};
  return ::fstatfs(folder, &facts) == 0 && facts.f_type == PROC_SUPER_MAGIC;
}

// The target of the link `name` in `folder`; returns 0 or the system's reason.
int read_link(int folder, const std::string& name, std::string& target) {
  std::array<char, PATH_MAX> text{};
  const ssize_t length = ::readlinkat(folder, name.c_str(), text.data(), text.size());
  if (length < 0) return errno;
  if (static_cast<std::size_t>(length) >= text.size()) return ENAMETOOLONG;
  target.assign(text.data(), static_cast<std::size_t>(length));
  return target.empty() ? ENOENT : 0;
}

OutputLocation refused(int error) { return OutputLocation{error, -1, false, nullptr}; }

// The process table's link to the very file behind `descriptor`.
std::string own_descriptor_link(int descriptor) {
  return std::string(OWN_DESCRIPTORS) + "/" + std::to_string(descriptor);
}

}  // namespace

void FilePlace::StateDeleter::operator()(State* state) const noexcept {
  ::close(state->folder);
  delete state;
}

FileFacts FilePlace::facts() const {
  struct stat facts {};
  if (::fstatat(state_->folder, name_.c_str(), &facts, AT_SYMLINK_NOFOLLOW) != 0) return {};
  return facts_of(facts);
}

std::string FilePlace::full_path() const {
  const std::string folder = descriptor_path(state_->folder);
  if (folder.empty()) return {};
  return folder + (folder.ends_with('/') ? "" : "/") + name_;
}

int FilePlace::folder_write_error() const {
  return ::faccessat(state_->folder, ".", W_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno;
}

int FilePlace::open_existing(int& descriptor) const {
  descriptor = -1;
  struct stat folder {};
  struct stat file {};
  if (::fstat(state_->folder, &folder) != 0 ||
      ::fstatat(state_->folder, name_.c_str(), &file, AT_SYMLINK_NOFOLLOW) != 0)
    return errno;
  if (refused_in_sticky_folder(folder, file)) return EACCES;
  descriptor =
      ::openat(state_->folder, name_.c_str(), O_WRONLY | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
  return descriptor == -1 ? errno : 0;
}

int FilePlace::create_new(int& descriptor) const {
  descriptor = ::openat(state_->folder, name_.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, NEW_FILE_MODE);
  return descriptor == -1 ? errno : 0;
}

int FilePlace::create_scratch(const std::string& scratch, bool as_new_file, int& descriptor) const {
  descriptor =
      ::openat(state_->folder, scratch.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC,
               as_new_file ? NEW_FILE_MODE : USER_ONLY_MODE);
  return descriptor == -1 ? errno : 0;
}

int FilePlace::create_nameless_scratch(bool as_new_file, int& descriptor) const {
  descriptor = ::openat(state_->folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC,
                        as_new_file ? NEW_FILE_MODE : USER_ONLY_MODE);
  return descriptor == -1 ? errno : 0;
}

int FilePlace::link_scratch(int descriptor, const std::string& name) const {
  // Through the process table: linking a descriptor itself (AT_EMPTY_PATH)
  // needs a privilege.
  const std::string scratch = std::string(OWN_DESCRIPTORS) + "/" + std::to_string(descriptor);
  return ::linkat(AT_FDCWD, scratch.c_str(), state_->folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0
             ? 0
             : errno;
}

int FilePlace::replace_with(const std::string& scratch) const {
  return ::renameat(state_->folder, scratch.c_str(), state_->folder, name_.c_str()) == 0 ? 0
                                                                                         : errno;
}

void FilePlace::remove(const std::string& scratch) const noexcept {
  ::unlinkat(state_->folder, scratch.c_str(), 0);
}

std::size_t FilePlace::read_start(char* bytes, std::size_t size) const {
  const Descriptor file(::openat(state_->folder, name_.c_str(),
                                 O_RDONLY | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!file.open()) return 0;
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(file.get(), bytes + got, size - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

OutputLocation locate_output(const char* path) {
  const bool protects_links = system_protects_links();
  // Held open while the path is followed, so that the folder of this
  // process's descriptors keeps the identity it is compared by.
  const Descriptor own_descriptors(::open(OWN_DESCRIPTORS, FOLDER_FLAGS));
  struct stat descriptor_table {};
  const bool table_known =
      own_descriptors.open() && ::fstat(own_descriptors.get(), &descriptor_table) == 0;

  PathParts at = split_path(path);
  if (std::string_view(path).empty()) return refused(ENOENT);
  // The system follows every link in the folders on the way, by its own
  // rules; only the last name is followed here, so that a missing target
  // is not created before the file is complete.
  Descriptor folder(::open(at.folder.c_str(), FOLDER_FLAGS));
  if (!folder.open()) return refused(errno);
  for (int hops = 0;; ++hops) {
    if (at.name.empty() || at.name == "." || at.name == "..") return refused(EISDIR);
    struct stat folder_facts {};
    if (::fstat(folder.get(), &folder_facts) != 0) return refused(errno);
    if (table_known && same_file(folder_facts, descriptor_table)) {
      if (const int number = descriptor_number(at.name); number != -1)
        return OutputLocation{0, number, false, nullptr};
    }
    struct stat entry {};
    if (::fstatat(folder.get(), at.name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0 &&
        errno != ENOENT)
      return refused(errno);
    if (!S_ISLNK(entry.st_mode))
      return OutputLocation{
          0, -1, false,
          std::make_unique<FilePlace>(
              FilePlace::StatePointer(new FilePlace::State{folder.release()}), at.name)};
    // The process table's links lead to what a name cannot spell (another
    // process's descriptors, deleted files): only the system follows them.
    if (on_process_table(folder.get())) return OutputLocation{0, -1, true, nullptr};
    if (protects_links && !may_follow(folder_facts, entry)) return refused(EACCES);
    if (hops == MAX_LINK_HOPS) return refused(ELOOP);
    std::string target;
    if (const int error = read_link(folder.get(), at.name, target); error != 0)
      return refused(error);
    PathParts next = split_path(target);
    Descriptor next_folder(::openat(target.starts_with('/') ? AT_FDCWD : folder.get(),
                                    next.folder.c_str(), FOLDER_FLAGS));
    if (!next_folder.open()) return refused(errno);
    folder = std::move(next_folder);
    at.name = std::move(next.name);
  }
}

int open_by_system(const char* path, int& descriptor) {
  descriptor = ::open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
  return descriptor == -1 ? errno : 0;
}

std::FILE* open_for_reading(const char* path) { return std::fopen(path, "rb"); }

int reopen_for_writing(int descriptor, int& reopened) {
  return open_by_system(own_descriptor_link(descriptor).c_str(), reopened);
}

std::string descriptor_path(int descriptor) {
  // The process table names the file behind each descriptor, folders and
  // links resolved.
  std::string target;
  if (read_link(AT_FDCWD, own_descriptor_link(descriptor), target) != 0) return {};
  return target;
}

std::string nameless_scratch_folder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && *folder != '\0' ? folder : DEFAULT_SCRATCH_FOLDER;
}

int create_nameless_scratch(int& descriptor) {
  const std::string folder = nameless_scratch_folder();
  // Never linked anywhere (O_EXCL): nothing of it outlives the run, however
  // the run ends.
  descriptor = ::open(folder.c_str(), O_TMPFILE | O_EXCL | O_RDWR | O_CLOEXEC, USER_ONLY_MODE);
  if (descriptor != -1 || errno != EOPNOTSUPP) return descriptor == -1 ? errno : 0;
  // A file system without nameless files: one named only for the moment
  // between its creation and its removal, which no signal may come
  // between.
  std::string pattern = folder + "/.quarlex-XXXXXX";
  const SignalsHeldBack held;
  descriptor = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (descriptor == -1) return errno;
  if (::unlink(pattern.c_str()) != 0) {
    const int error = errno;
    ::close(descriptor);
    descriptor = -1;
    return error;
  }
  return 0;
}

int reserve_room_ahead(int descriptor, std::uint64_t size) {
  if (size == 0) return 0;
  // Room beyond the end is reserved without moving the end, so that the
  // file reads as before until it is overwritten. Some file systems (FAT
  // through FUSE, some network file systems) answer EOPNOTSUPP: their room
  // shows only as the file is written.
  return ::fallocate(descriptor, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0 ? 0 : errno;
}

bool reserving_ahead_pays(int descriptor) {
  struct statfs facts {};
  // ext2, ext3 and ext4 share their magic number.
  return ::fstatfs(descriptor, &facts) == 0 && facts.f_type == EXT4_SUPER_MAGIC;
}

int copy_contents(int from, int to, std::uint64_t size) {
  if (::lseek(to, 0, SEEK_SET) != 0) return errno;
  off_t offset = 0;
  while (static_cast<std::uint64_t>(offset) < size) {
    const ssize_t sent = ::sendfile(
        to, from, &offset, static_cast<std::size_t>(size - static_cast<std::uint64_t>(offset)));
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0) return errno;
    if (sent == 0) return EIO;  // the scratch file is shorter than it was
  }
  return cut_file_at(to, size);
}

int cut_file_at(int descriptor, std::uint64_t size) {
  return ::ftruncate(descriptor, static_cast<off_t>(size)) == 0 ? 0 : errno;
}

void empty_file(int descriptor) noexcept { ::ftruncate(descriptor, 0); }

int close_descriptor(int descriptor) noexcept { return ::close(descriptor) == 0 ? 0 : errno; }

}  // namespace quarlex
