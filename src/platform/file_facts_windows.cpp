#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>

#include "platform/file_facts.h"
#include "platform/file_place_windows.h"

namespace quarlex {
namespace {

std::uint64_t joined(DWORD high, DWORD low) {
  constexpr int HALF_BITS = 32;
  return static_cast<std::uint64_t>(high) << HALF_BITS | low;
}

std::int64_t as_number(const FILETIME& time) {
  return static_cast<std::int64_t>(joined(time.dwHighDateTime, time.dwLowDateTime));
}

}  // namespace

FileFacts handle_facts(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return {};
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    // Consoles and pipes have no file index: each handle counts as a file
    // of its own, so that two of them are never taken for one file.
    return {FileKind::Other, {0, reinterpret_cast<std::uintptr_t>(handle)}};
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!::GetFileInformationByHandle(handle, &information)) return {};
  const bool folder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return {folder ? FileKind::Directory : FileKind::Regular,
          {information.dwVolumeSerialNumber,
           joined(information.nFileIndexHigh, information.nFileIndexLow)},
          joined(information.nFileSizeHigh, information.nFileSizeLow),
          information.nNumberOfLinks,
          as_number(information.ftLastWriteTime),
          as_number(information.ftCreationTime)};
}

int descriptor_of(std::FILE* stream) { return ::_fileno(stream); }

FileFacts descriptor_facts(int descriptor) {
  return handle_facts(reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor)));
}

// One file under two names always shares its file index here, so no
// path is needed to tell it.
std::string descriptor_path(int) { return {}; }

// The C library keeps no access mode to read back; standard input is the
// one descriptor a Windows program gets for reading only.
bool descriptor_writable(int descriptor) {
  return descriptor != 0 && ::_get_osfhandle(descriptor) != -1;
}

int write_all(int descriptor, const char* text, std::size_t size) {
  // At most this much per call: the C library counts in an unsigned int.
  constexpr std::size_t MOST_PER_CALL = 1 << 30;
  while (size > 0) {
    const unsigned asked = static_cast<unsigned>(size < MOST_PER_CALL ? size : MOST_PER_CALL);
    const int wrote = ::_write(descriptor, text, asked);
    if (wrote <= 0) return wrote == 0 || errno == 0 ? EIO : errno;
    text += wrote;
    size -= static_cast<std::size_t>(wrote);
  }
  return 0;
}

int copy_descriptor(int descriptor) { return ::_dup(descriptor); }

}  // namespace quarlex
