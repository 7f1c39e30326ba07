#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_facts.h"
#include "platform/file_place_posix.h"

namespace quarlex {

FileFacts facts_of(const struct stat& facts) {
  constexpr std::int64_t NANOSECONDS = 1'000'000'000;
  FileKind kind = FileKind::Other;
  if (S_ISREG(facts.st_mode)) kind = FileKind::Regular;
  if (S_ISDIR(facts.st_mode)) kind = FileKind::Directory;
  return FileFacts{
      kind,
      FileIdentity{static_cast<std::uint64_t>(facts.st_dev),
                   static_cast<std::uint64_t>(facts.st_ino)},
      static_cast<std::uint64_t>(facts.st_size),
      static_cast<std::uint64_t>(facts.st_nlink),
      static_cast<std::int64_t>(facts.st_mtim.tv_sec) * NANOSECONDS + facts.st_mtim.tv_nsec,
      static_cast<std::int64_t>(facts.st_ctim.tv_sec) * NANOSECONDS + facts.st_ctim.tv_nsec};
}

int descriptor_of(std::FILE* stream) { return ::fileno(stream); }

FileFacts descriptor_facts(int descriptor) {
  struct stat facts {};
  if (::fstat(descriptor, &facts) != 0) return {};
  return facts_of(facts);
}

bool descriptor_writable(int descriptor) {
  const int flags = ::fcntl(descriptor, F_GETFL);
  return flags != -1 && (flags & O_ACCMODE) != O_RDONLY;
}

int write_all(int descriptor, const char* text, std::size_t size) {
  while (size > 0) {
    const ssize_t wrote = ::write(descriptor, text, size);
    if (wrote > 0) {
      text += wrote;
      size -= static_cast<std::size_t>(wrote);
      continue;
    }
    if (wrote == 0) return EIO;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return errno;
    pollfd room{descriptor, POLLOUT, 0};
    if (::poll(&room, 1, -1) < 0 && errno != EINTR) return errno;
  }
  return 0;
}

int copy_descriptor(int descriptor) {
  constexpr int ABOVE_STANDARD = 3;
  return ::fcntl(descriptor, F_DUPFD_CLOEXEC, ABOVE_STANDARD);
}

}  // namespace quarlex
