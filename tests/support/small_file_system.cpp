#include "small_file_system.h"

#include <sys/mount.h>
#include <sys/statvfs.h>

namespace quarlex::support {

SmallFileSystem::SmallFileSystem(const std::filesystem::path& mount_point, const std::string& size)
    : mount_point_(mount_point) {
  std::filesystem::create_directory(mount_point_);
  mounted_ = ::mount("tmpfs", mount_point_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
}

SmallFileSystem::~SmallFileSystem() {
  if (mounted_) ::umount2(mount_point_.c_str(), MNT_DETACH);
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
