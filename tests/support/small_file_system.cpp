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
    case SmallKind::Fat:
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

// An empty FAT file system of `size` in an image at `image`, mounted on
// `mount_point` through FUSE; the reason it is not, or empty.
std::string mount_fat_image(const std::filesystem::path& image,
                            const std::filesystem::path& mount_point, const std::string& size) {
  if (!std::filesystem::exists("/dev/fuse")) return "no /dev/fuse here";
  for (const char* program : {"fusefat", "mkfs.vfat", "fusermount"}) {
    const std::string look_up = std::string("command -v ") + program + " > /dev/null";
    if (std::system(look_up.c_str()) != 0) return std::string("needs ") + program;
  }
  const std::string commands = "truncate -s " + size + " " + quoted(image) + " && mkfs.vfat " +
                               quoted(image) + " && fusefat -o rw+ " + quoted(image) + " " +
                               quoted(mount_point);
  return std::system((commands + " > /dev/null 2>&1").c_str()) == 0
             ? ""
             : "cannot make and mount a FAT image (" + commands + ")";
}

}  // namespace

SmallFileSystem::SmallFileSystem(const std::filesystem::path& mount_point, const std::string& size,
                                 SmallKind kind)
    : mount_point_(mount_point), kind_(kind) {
  std::filesystem::create_directory(mount_point_);
  const std::filesystem::path image = mount_point_.string() + ".img";
  if (kind == SmallKind::Fat) {
    why_not_ = mount_fat_image(image, mount_point_, size);
  } else if (kind != SmallKind::Tmpfs) {
    why_not_ = mount_image(kind, image, mount_point_, size);
  } else if (::mount("tmpfs", mount_point_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0) {
    why_not_ = "mount -t tmpfs failed";
  }
}

SmallFileSystem::~SmallFileSystem() {
  if (!mounted()) return;
  // FUSE's own unmount waits until the file system's process lets go of
  // its image. The loop device of an ext4 image goes with its mount.
  if (kind_ == SmallKind::Fat)
    std::system(("fusermount -u " + quoted(mount_point_) + " > /dev/null 2>&1").c_str());
  else
    ::umount2(mount_point_.c_str(), MNT_DETACH);
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
