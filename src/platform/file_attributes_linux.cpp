#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_place_posix.h"

namespace quarlex {
namespace {

constexpr mode_t MODE_BITS = 07777;
constexpr std::string_view ACCESS_LIST = "system.posix_acl_access";
constexpr std::string_view USER_ATTRIBUTES = "user.";
constexpr std::string_view TRUSTED_ATTRIBUTES = "trusted.";
constexpr std::string_view FILE_CAPABILITIES = "security.capability";
constexpr unsigned CAPABILITY_WORD_BITS = 32;
constexpr const char* USER_MAP = "/proc/self/uid_map";
constexpr const char* GROUP_MAP = "/proc/self/gid_map";

// File flags (chattr) that a user may set and a new file does not get
// from its folder. The append-only and immutable flags need no entry:
// such a file cannot be opened for writing at all.
constexpr int FLAGS_A_NEW_FILE_LACKS = FS_SECRM_FL | FS_UNRM_FL | FS_COMPR_FL | FS_SYNC_FL |
                                       FS_NODUMP_FL | FS_NOATIME_FL | FS_NOCOMP_FL |
                                       FS_JOURNAL_DATA_FL | FS_NOTAIL_FL | FS_NOCOW_FL | FS_DAX_FL;

// Extended flags (FS_IOC_FSGETXATTR) that a rename would drop, beyond
// those that mirror the file flags above.
constexpr unsigned XFLAGS_A_NEW_FILE_LACKS = FS_XFLAG_REALTIME | FS_XFLAG_EXTSIZE |
                                             FS_XFLAG_NODEFRAG | FS_XFLAG_FILESTREAM |
                                             FS_XFLAG_COWEXTSIZE;

// Whether a failed ioctl's `error` says that the file system has nothing
// of the kind asked for, rather than that the answer could not be had.
bool lacks_the_request(int error) { return error == ENOTTY || error == EOPNOTSUPP; }

// Whether the file system of `descriptor` is of a kind that gives files a
// project or flags of their own for how their room is laid out (XFS, the
// ext family, F2FS); where even that is unknown, it may.
bool holds_projects(int descriptor) {
  struct statfs system {};
  if (::fstatfs(descriptor, &system) != 0) return true;
  const auto type = static_cast<unsigned long>(system.f_type);
  return type == XFS_SUPER_MAGIC || type == EXT4_SUPER_MAGIC || type == F2FS_SUPER_MAGIC;
}

bool has_capability(int capability) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  std::array<__user_cap_data_struct, _LINUX_CAPABILITY_U32S_3> data{};
  if (::syscall(SYS_capget, &header, data.data()) != 0) return false;
  const auto bit = static_cast<unsigned>(capability);
  return ((data[bit / CAPABILITY_WORD_BITS].effective >> (bit % CAPABILITY_WORD_BITS)) & 1u) != 0;
}

// Whether the user namespace the process runs in maps `id` to a user (or
// group) outside it, by the map at `map` ("inside outside count" lines).
// One it does not map shows as the overflow id and cannot be given to a
// file, capability or not. Where the map cannot be read, the process runs
// where every id is mapped.
bool id_mapped(const char* map, unsigned id) {
  std::FILE* lines = std::fopen(map, "re");
  if (lines == nullptr) return true;
  bool mapped = false;
  unsigned long inside = 0;
  unsigned long outside = 0;
  unsigned long count = 0;
  while (!mapped && std::fscanf(lines, "%lu %lu %lu", &inside, &outside, &count) == 3)
    mapped = id >= inside && id - inside < count;
  std::fclose(lines);
  return mapped;
}

bool in_group(gid_t group) {
  if (group == ::getegid()) return true;
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int got = ::getgroups(count, groups.data());
  return got > 0 && std::find(groups.begin(), groups.begin() + got, group) != groups.begin() + got;
}

// The names of the extended attributes of the file on `descriptor` (the
// access list among them), or an error.
int attribute_names(int descriptor, std::vector<std::string>& names) {
  names.clear();
  for (;;) {
    const ssize_t size = ::flistxattr(descriptor, nullptr, 0);
    if (size < 0) return errno == ENOTSUP ? 0 : errno;
    std::string list(static_cast<std::size_t>(size), '\0');
    const ssize_t got = ::flistxattr(descriptor, list.data(), list.size());
    if (got < 0 && errno == ERANGE) continue;  // one was added meanwhile
    if (got < 0) return errno;
    list.resize(static_cast<std::size_t>(got));
    for (std::size_t at = 0; at < list.size();) {
      const std::size_t end = list.find('\0', at);
      names.emplace_back(list, at, end - at);
      at = end + 1;
    }
    return 0;
  }
}

int attribute_value(int descriptor, const std::string& name, std::string& value) {
  for (;;) {
    const ssize_t size = ::fgetxattr(descriptor, name.c_str(), nullptr, 0);
    if (size < 0) return errno;
    value.assign(static_cast<std::size_t>(size), '\0');
    const ssize_t got = ::fgetxattr(descriptor, name.c_str(), value.data(), value.size());
    if (got < 0 && errno == ERANGE) continue;
    if (got < 0) return errno;
    value.resize(static_cast<std::size_t>(got));
    return 0;
  }
}

// Whether this user can give a new file the attribute `name`.
bool may_set_attribute(std::string_view name) {
  if (name.starts_with(USER_ATTRIBUTES) || name == ACCESS_LIST) return true;
  if (name.starts_with(TRUSTED_ATTRIBUTES)) return has_capability(CAP_SYS_ADMIN);
  if (name == FILE_CAPABILITIES) return has_capability(CAP_SETFCAP);
  // A security module's label, or a list of a kind a new file cannot be
  // given by name.
  return false;
}

bool statx_attributes(int descriptor, unsigned mask, struct statx& facts) {
  return ::statx(descriptor, "", AT_EMPTY_PATH, mask, &facts) == 0;
}

bool has_attribute(const struct statx& facts, std::uint64_t attribute) {
  return (facts.stx_attributes_mask & attribute) != 0 && (facts.stx_attributes & attribute) != 0;
}

// Whether a new file in the folder held by `folder` (open for searching
// only) would get what the file system's extended flags (FS_IOC_FSGETXATTR:
// XFS, ext4) give the file on `existing`: its project, which a new file
// takes from its folder only where the folder passes its own on, and
// flags that set how its room is laid out (an extent size, the real-time
// device, no defragmenting, a file stream), which a rename would drop.
// File systems without them answer ENOTTY or the like: nothing to lose.
// Any other failure (ENOSYS from an emulator that does not pass the request
// on, an I/O error) leaves it to the kind of file system: one that can hold
// a project or a layout flag may hold one here, and that cannot be kept.
bool extended_flags_kept(int existing, int folder) {
  struct fsxattr file {};
  if (::ioctl(existing, FS_IOC_FSGETXATTR, &file) != 0)
    return lacks_the_request(errno) || !holds_projects(existing);
  if ((file.fsx_xflags & XFLAGS_A_NEW_FILE_LACKS) != 0) return false;
  if (file.fsx_projid == 0) return true;
  const int readable = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct fsxattr parent {};
  const bool known = readable != -1 && ::ioctl(readable, FS_IOC_FSGETXATTR, &parent) == 0;
  if (readable != -1) ::close(readable);
  return known && (parent.fsx_xflags & FS_XFLAG_PROJINHERIT) != 0 &&
         parent.fsx_projid == file.fsx_projid;
}

}  // namespace

ReplacementFacts FilePlace::replacement_facts(int existing) const {
  ReplacementFacts facts;
  facts.folder_write_error = folder_write_error();
  struct statx folder {};
  const bool folder_known =
      statx_attributes(state().folder, STATX_BASIC_STATS | STATX_MNT_ID, folder);
  facts.folder_entries_fixed = folder_known && (has_attribute(folder, STATX_ATTR_APPEND) ||
                                                has_attribute(folder, STATX_ATTR_IMMUTABLE));
  if (existing == -1) return facts;

  struct statx file {};
  if (!folder_known || !statx_attributes(existing, STATX_BASIC_STATS | STATX_MNT_ID, file)) {
    // What cannot be read cannot be kept by a rename.
    facts.attributes_kept = false;
    return facts;
  }
  facts.other_names = file.stx_nlink > 1;
  // By the mount, not the device: an overlay shows a file's device as
  // that of the layer it comes from, and a file bound onto a name of its
  // own file system shares its device.
  facts.mount_point = has_attribute(file, STATX_ATTR_MOUNT_ROOT) ||
                      ((file.stx_mask & folder.stx_mask & STATX_MNT_ID) != 0 &&
                       file.stx_mnt_id != folder.stx_mnt_id);
  const uid_t user = ::geteuid();
  facts.sticky_protected = (folder.stx_mode & S_ISVTX) != 0 && file.stx_uid != user &&
                           folder.stx_uid != user && !has_capability(CAP_FOWNER);
  facts.owner_kept =
      file.stx_uid == user || (has_capability(CAP_CHOWN) && id_mapped(USER_MAP, file.stx_uid));
  facts.group_kept =
      in_group(file.stx_gid) || (has_capability(CAP_CHOWN) && id_mapped(GROUP_MAP, file.stx_gid));

  std::vector<std::string> names;
  facts.attributes_kept = attribute_names(existing, names) == 0 &&
                          std::all_of(names.begin(), names.end(), [](const std::string& name) {
                            return may_set_attribute(name);
                          });
  // An int, whatever the request's declared type says: the kernel stores
  // one, which a long would hold in its upper half on a big-endian machine.
  int flags = 0;
  const bool flags_known =
      ::ioctl(existing, FS_IOC_GETFLAGS, &flags) == 0 || lacks_the_request(errno);
  facts.flags_kept = flags_known && (flags & FLAGS_A_NEW_FILE_LACKS) == 0 &&
                     extended_flags_kept(existing, state().folder);
  return facts;
}

int copy_attributes(int from, int to) {
  struct stat old_file {};
  if (::fstat(from, &old_file) != 0) return errno;
  std::vector<std::string> old_names;
  std::vector<std::string> new_names;
  if (const int error = attribute_names(from, old_names); error != 0) return error;
  if (const int error = attribute_names(to, new_names); error != 0) return error;
  // Owner and group first: changing them clears the set-id bits and file
  // capabilities, which are set afterwards.
  if (::fchown(to, old_file.st_uid, old_file.st_gid) != 0) return errno;
  // An access list the new file took from its folder's default list, where
  // the old file had none, would let in whom the old file did not.
  if (std::find(new_names.begin(), new_names.end(), ACCESS_LIST) != new_names.end() &&
      std::find(old_names.begin(), old_names.end(), ACCESS_LIST) == old_names.end() &&
      ::fremovexattr(to, std::string(ACCESS_LIST).c_str()) != 0)
    return errno;
  if (::fchmod(to, old_file.st_mode & MODE_BITS) != 0) return errno;
  // The access list sets the group bits to its mask, as the old file has
  // them; the group's own entry stays in the list.
  std::string value;
  for (const std::string& name : old_names) {
    if (const int error = attribute_value(from, name, value); error != 0) return error;
    if (::fsetxattr(to, name.c_str(), value.data(), value.size(), 0) != 0) return errno;
  }
  return 0;
}

}  // namespace quarlex
