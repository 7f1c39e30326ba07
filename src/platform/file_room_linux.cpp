#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>

#include "platform/file_place.h"

namespace quarlex {
namespace {

// File systems whose every write takes new blocks, and which linux/magic.h
// does not name.
constexpr unsigned long ZFS_MAGIC = 0x2fc12fc1;
constexpr unsigned long BCACHEFS_MAGIC = 0xca451a4e;
// What st_blocks counts in.
constexpr std::uint64_t STAT_BLOCK_BYTES = 512;
// Extents asked for per call while looking for shared ones.
constexpr std::uint32_t EXTENTS_PER_CALL = 32;

bool copies_on_write(unsigned long type) {
  return type == BTRFS_SUPER_MAGIC || type == ZFS_MAGIC || type == BCACHEFS_MAGIC;
}

// Whether the file system writes into a file's own blocks and reserves
// room that stays reserved for exactly those writes. The ext family shares
// one magic number: only a file kept in extents (ext4's) can be reserved
// for; ext2 and ext3 files, and ext4 files carried over from them, answer
// EOPNOTSUPP.
bool reserves_for_overwrite(int descriptor, unsigned long type) {
  if (type == TMPFS_MAGIC || type == XFS_SUPER_MAGIC) return true;
  if (type != EXT4_SUPER_MAGIC) return false;
  // An int, as the kernel stores it.
  int flags = 0;
  return ::ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_EXTENT_FL) != 0;
}

// Whether any extent of the file is shared with another file (a reflink
// copy, a snapshot): writing over it takes new blocks. Where the file
// system cannot tell, none is.
bool has_shared_extents(int descriptor) {
  // The request and the extents the kernel fills in after it.
  alignas(struct fiemap)
      std::array<unsigned char,
                 sizeof(struct fiemap) + EXTENTS_PER_CALL * sizeof(struct fiemap_extent)>
          buffer{};
  auto* map = reinterpret_cast<struct fiemap*>(buffer.data());
  std::uint64_t start = 0;
  for (;;) {
    buffer.fill(0);
    map->fm_start = start;
    map->fm_length = FIEMAP_MAX_OFFSET - start;
    map->fm_extent_count = EXTENTS_PER_CALL;
    if (::ioctl(descriptor, FS_IOC_FIEMAP, map) != 0 || map->fm_mapped_extents == 0) return false;
    for (std::uint32_t i = 0; i < map->fm_mapped_extents; ++i) {
      const struct fiemap_extent& extent = map->fm_extents[i];
      if ((extent.fe_flags & FIEMAP_EXTENT_SHARED) != 0) return true;
      if ((extent.fe_flags & FIEMAP_EXTENT_LAST) != 0) return false;
      start = extent.fe_logical + extent.fe_length;
    }
  }
}

// Whether the file has a hole before its end, which a reservation would
// fill and cutting the file at its length would not give back.
bool has_holes(int descriptor, std::uint64_t size) {
  const off_t hole = ::lseek(descriptor, 0, SEEK_HOLE);
  ::lseek(descriptor, 0, SEEK_SET);
  return hole != -1 && static_cast<std::uint64_t>(hole) < size;
}

}  // namespace

RoomFacts room_facts(int descriptor) {
  RoomFacts facts;
  struct stat file {};
  struct statfs system {};
  if (::fstat(descriptor, &file) != 0 || ::fstatfs(descriptor, &system) != 0) return facts;
  const auto type = static_cast<unsigned long>(system.f_type);
  const std::uint64_t size = static_cast<std::uint64_t>(file.st_size);
  facts.length = size;
  facts.allocated = static_cast<std::uint64_t>(file.st_blocks) * STAT_BLOCK_BYTES;
  facts.block = system.f_bsize > 0 ? static_cast<std::uint64_t>(system.f_bsize) : 1;
  facts.free = static_cast<std::uint64_t>(system.f_bavail) * facts.block;
  const bool shared = !copies_on_write(type) && has_shared_extents(descriptor);
  facts.copies_on_write = copies_on_write(type) || shared;
  facts.reservation_holds = !facts.copies_on_write && reserves_for_overwrite(descriptor, type) &&
                            !has_holes(descriptor, size);
  return facts;
}

int reserve_room_beyond(int descriptor, std::uint64_t from, std::uint64_t size) {
  if (from >= size) return 0;
  // Asking only for what lies beyond spares file systems that count the
  // whole range against the free room before they look at what is there
  // (XFS).
  return ::fallocate(descriptor, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(from),
                     static_cast<off_t>(size - from)) == 0
             ? 0
             : errno;
}

void give_back_room(int descriptor, std::uint64_t length, std::int64_t modified) noexcept {
  constexpr std::int64_t NANOSECONDS = 1'000'000'000;
  ::ftruncate(descriptor, static_cast<off_t>(length));
  const struct timespec times[2] = {
      {0, UTIME_OMIT},
      {static_cast<time_t>(modified / NANOSECONDS), static_cast<long>(modified % NANOSECONDS)}};
  ::futimens(descriptor, times);
}

}  // namespace quarlex
