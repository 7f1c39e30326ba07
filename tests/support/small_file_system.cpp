#include "small_file_system.h"

#include <sys/mount.h>
#include <sys/statvfs.h>

#include <cstdlib>

namespace quarlex::support {
namespace {

std::string quoted(const std::filesystem::path& path) {
  std::string text(1, '\'');
  text.append(path.string()).push_back('\'');
  return text;
}

// The command that makes an empty file system of `kind` in `image`. No
// blocks are kept back for root, which the tests are: the free room is
// what a write can fill.
std::string make_command(SmallKind kind, const std::string& image) {
  switch (kind) {
    case SmallKind::Tmpfs:
      break;
    case SmallKind::Ext4:
      return "mkfs.ext4 -q -F -m 0 " + image;
    case SmallKind::Ext3:
      return "mkfs.ext3 -q -F -m 0 " + image;
    case SmallKind::Ext2:
      return "mkfs.ext2 -q -F -m 0 " + image;
    case SmallKind::Xfs:
      return "mkfs.xfs -q " + image;
    case SmallKind::Btrfs:
      // Data and its records in one pool, as for any small btrfs: the
      // free room it tells is then the room there is.
      return "mkfs.btrfs -q --mixed " + image;
  }
  return "false";
}

// An empty file system of `kind` and `size` in a sparse image at `image`,
// mounted on `mount_point`; the reason it is not, or empty.
std::string mount_image(SmallKind kind, const std::filesystem::path& image,
                        const std::filesystem::path& mount_point, const std::string& size) {
  if (!std::filesystem::exists("/dev/loop-control")) return "no loop devices here";
  const std::string commands = "truncate -s " + size + " " + quoted(image) + " && " +
                               make_command(kind, quoted(image)) + " && mount -o loop " +
                               quoted(image) + " " + quoted(mount_point);
  return std::system(("{ " + commands + "; } > /dev/null 2>&1").c_str()) == 0
             ? ""
             : "cannot make and mount the image (" + commands + ")";
}

}  // namespace

SmallFileSystem::SmallFileSystem(const std::filesystem::path& mount_point, const std::string& size,
                                 SmallKind kind)
    : mount_point_(mount_point) {
  std::filesystem::create_directory(mount_point_);
  if (kind != SmallKind::Tmpfs) {
    why_not_ = mount_image(kind, mount_point_.string() + ".img", mount_point_, size);
  } else if (::mount("tmpfs", mount_point_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0) {
    why_not_ = "mount -t tmpfs failed";
  }
}

SmallFileSystem::~SmallFileSystem() {
  // The loop device of an image goes with its mount.
  if (mounted()) ::umount2(mount_point_.c_str(), MNT_DETACH);
}

std::uintmax_t SmallFileSystem::free_bytes() const {
  struct statvfs facts {};
  ::statvfs(mount_point_.c_str(), &facts);
  return static_cast<std::uintmax_t>(facts.f_bavail) * facts.f_frsize;
}

std::uintmax_t SmallFileSystem::page_bytes() const {
  struct statvfs facts {};
  ::statvfs(mount_point_.c_str(), &facts);
  return facts.f_frsize;
}

}  // namespace quarlex::support
