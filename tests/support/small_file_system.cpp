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

// An empty ext4 of `size` in an image at `image`, mounted on `mount_point`;
// the reason it is not, or empty. No blocks are kept back for root, which
// the tests are: the free room is what a write can fill.
std::string mount_ext4_image(const std::filesystem::path& image,
                             const std::filesystem::path& mount_point, const std::string& size) {
  if (!std::filesystem::exists("/dev/loop-control")) return "no loop devices here";
  const std::string commands = "truncate -s " + size + " " + quoted(image) +
                               " && mkfs.ext4 -q -F -m 0 " + quoted(image) + " && mount -o loop " +
                               quoted(image) + " " + quoted(mount_point);
  return std::system((commands + " > /dev/null 2>&1").c_str()) == 0
             ? ""
             : "cannot make and mount an ext4 image (" + commands + ")";
}

}  // namespace

SmallFileSystem::SmallFileSystem(const std::filesystem::path& mount_point, const std::string& size,
                                 SmallKind kind)
    : mount_point_(mount_point) {
  std::filesystem::create_directory(mount_point_);
  if (kind == SmallKind::Ext4) {
    why_not_ = mount_ext4_image(mount_point_.string() + ".img", mount_point_, size);
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
