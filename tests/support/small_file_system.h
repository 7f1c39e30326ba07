#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace quarlex::support {

enum class SmallKind {
  Tmpfs,  // in memory
  // An image file beside the mount point, through a loop device:
  Ext4,
  Ext3,
  Ext2,
  Xfs,    // at least 300 MiB
  Btrfs,  // at least 110 MiB
  Fat,    // an image file beside the mount point, through FUSE (fusefat)
};

// A file system of `size` (as mount's size= option and truncate take it,
// "4m" or "16M") mounted on a new folder at `mount_point`, unmounted when
// this goes. Mounting needs root, as CI runs the tests (and FAT the
// programs fusefat, mkfs.vfat and fusermount); why_not() says why it could
// not be mounted, empty once it is.
class SmallFileSystem {
 public:
  SmallFileSystem(const std::filesystem::path& mount_point, const std::string& size,
                  SmallKind kind = SmallKind::Tmpfs);
  ~SmallFileSystem();
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;

  bool mounted() const { return why_not_.empty(); }
  const std::string& why_not() const { return why_not_; }
  std::uintmax_t free_bytes() const;
  std::uintmax_t page_bytes() const;

 private:
  std::filesystem::path mount_point_;
  SmallKind kind_;
  std::string why_not_;
};

}  // namespace quarlex::support
