#include "platform/file_place_windows.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/signal_cleanup.h"

namespace quarlex {
namespace {

// How long a replacement that another process holds up is tried again:
// two seconds in all.
constexpr int REPLACE_ATTEMPTS = 200;
constexpr DWORD REPLACE_RETRY_MS = 10;
constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr std::size_t COPY_BLOCK = 256 * 1024;

std::string path_of(const FilePlace::State& place, const std::string& name) {
  return place.folder + name;
}

// The folder part of `path` with its separator, "C:" for "C:x", "" for a
// bare name.
std::string folder_of(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\");
  if (separator != std::string::npos) return path.substr(0, separator + 1);
  constexpr std::size_t DRIVE_PREFIX = 2;
  if (path.size() >= DRIVE_PREFIX && path[1] == ':') return path.substr(0, DRIVE_PREFIX);
  return {};
}

// A C library descriptor for `handle`, which it takes over.
int descriptor_for(HANDLE handle, int& descriptor) {
  if (handle == INVALID_HANDLE_VALUE) return last_error_code();
  descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
  if (descriptor == -1) {
    ::CloseHandle(handle);
    return EMFILE;
  }
  return 0;
}

HANDLE open_handle(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                   DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  return ::CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

}  // namespace

int last_error_code() {
  switch (::GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EIO;
  }
}

void FilePlace::StateDeleter::operator()(State* state) const noexcept { delete state; }

FileFacts FilePlace::facts() const {
  // Backup semantics let a folder be opened too, to be told apart.
  const HANDLE handle = open_handle(path_of(*state_, name_), FILE_READ_ATTRIBUTES, SHARE_ALL,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  const FileFacts facts = handle_facts(handle);
  if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  return facts;
}

// Identity by file index tells one file under two names here.
std::string FilePlace::full_path() const { return {}; }

// A folder's access list would have to be evaluated; a folder that takes
// no file shows when the scratch file cannot be made.
int FilePlace::folder_write_error() const { return 0; }

int FilePlace::open_existing(int& descriptor) const {
  return descriptor_for(
      open_handle(path_of(*state_, name_), GENERIC_WRITE, SHARE_ALL, OPEN_EXISTING), descriptor);
}

int FilePlace::create_new(int& descriptor) const {
  return descriptor_for(
      open_handle(path_of(*state_, name_), GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW), descriptor);
}

ReplacementFacts FilePlace::replacement_facts(int existing) const {
  ReplacementFacts facts;
  if (existing != -1)
    facts.other_names =
        handle_facts(reinterpret_cast<HANDLE>(::_get_osfhandle(existing))).links > 1;
  return facts;
}

int FilePlace::create_scratch(const std::string& scratch, bool, int& descriptor) const {
  // WRITE_DAC: the old file's access list is set on it at the end.
  return descriptor_for(
      open_handle(path_of(*state_, scratch), GENERIC_READ | GENERIC_WRITE | WRITE_DAC,
                  FILE_SHARE_READ | FILE_SHARE_DELETE, CREATE_NEW),
      descriptor);
}

// One call puts the new file in the old one's place, in one step. It fails
// while another process has the old file open without sharing deletion,
// or is replacing it at the same moment (a parallel build writing one
// output twice; a virus scanner), so it is tried again for a while.
// Windows' nameless files are the folder GetTempPath names, with a name
// the system removes: none is made beside the output.
int FilePlace::create_nameless_scratch(bool, int& descriptor) const {
  descriptor = -1;
  return EOPNOTSUPP;
}

int FilePlace::link_scratch(int, const std::string&) const { return EOPNOTSUPP; }

int FilePlace::replace_with(const std::string& scratch) const {
  const std::string final_path = path_of(*state_, name_);
  const std::string scratch_path = path_of(*state_, scratch);
  for (int attempt = 1;; ++attempt) {
    if (::MoveFileExA(scratch_path.c_str(), final_path.c_str(), MOVEFILE_REPLACE_EXISTING))
      return 0;
    const DWORD error = ::GetLastError();
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) ||
        attempt == REPLACE_ATTEMPTS)
      return last_error_code();
    ::Sleep(REPLACE_RETRY_MS);
  }
}

void FilePlace::remove(const std::string& scratch) const noexcept {
  ::DeleteFileA(path_of(*state_, scratch).c_str());
}

std::size_t FilePlace::read_start(char* bytes, std::size_t size) const {
  const HANDLE file = open_handle(path_of(*state_, name_), GENERIC_READ, SHARE_ALL, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD got = 0;
  if (!::ReadFile(file, bytes, static_cast<DWORD>(size), &got, nullptr)) got = 0;
  ::CloseHandle(file);
  return got;
}

OutputLocation locate_output(const char* path) {
  const std::string given(path);
  const std::string folder = folder_of(given);
  const std::string name = given.substr(folder.size());
  if (name.empty() || name == "." || name == "..") return {EISDIR, -1, false, nullptr};
  auto place =
      std::make_unique<FilePlace>(FilePlace::StatePointer(new FilePlace::State{folder}), name);
  // A name that is missing is a new file; one in a missing folder cannot be.
  if (place->facts().kind == FileKind::Missing && ::GetLastError() != ERROR_FILE_NOT_FOUND)
    return {last_error_code(), -1, false, nullptr};
  return {0, -1, false, std::move(place)};
}

int open_by_system(const char* path, int& descriptor) {
  return descriptor_for(open_handle(path, GENERIC_WRITE, SHARE_ALL, OPEN_EXISTING), descriptor);
}

// No name leads back to a descriptor's file here; and no output is ever
// located as a descriptor, so this is not reached.
int reopen_for_writing(int, int& reopened) {
  reopened = -1;
  return EBADF;
}

std::string nameless_scratch_folder() {
  std::array<char, MAX_PATH + 1> folder{};
  const DWORD length = ::GetTempPathA(static_cast<DWORD>(folder.size()), folder.data());
  return length == 0 || length >= folder.size() ? std::string()
                                                : std::string(folder.data(), length);
}

int create_nameless_scratch(int& descriptor) {
  std::array<char, MAX_PATH + 1> folder{};
  std::array<char, MAX_PATH + 1> path{};
  if (::GetTempPathA(static_cast<DWORD>(folder.size()), folder.data()) == 0 ||
      ::GetTempFileNameA(folder.data(), "qlx", 0, path.data()) == 0)
    return last_error_code();
  // Deleted by the system when its last handle closes, however the
  // process ends.
  const HANDLE handle = open_handle(path.data(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, TRUNCATE_EXISTING,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE);
  if (handle == INVALID_HANDLE_VALUE) {
    const int error = last_error_code();
    ::DeleteFileA(path.data());
    return error;
  }
  return descriptor_for(handle, descriptor);
}

int copy_attributes(int from, int to) {
  const auto old_file = reinterpret_cast<HANDLE>(::_get_osfhandle(from));
  const auto new_file = reinterpret_cast<HANDLE>(::_get_osfhandle(to));
  // The old file's own entries; those it took from its folder the new file
  // takes from the same folder.
  PACL access_list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(old_file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        &access_list, nullptr, &descriptor) != ERROR_SUCCESS)
    return EACCES;
  const DWORD set = ::SetSecurityInfo(new_file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                      nullptr, access_list, nullptr);
  ::LocalFree(descriptor);
  if (set != ERROR_SUCCESS) return EACCES;
  BY_HANDLE_FILE_INFORMATION information;
  FILE_BASIC_INFO basic{};
  if (!::GetFileInformationByHandle(old_file, &information)) return last_error_code();
  basic.FileAttributes = information.dwFileAttributes;
  if (!::SetFileInformationByHandle(new_file, FileBasicInfo, &basic, sizeof basic))
    return last_error_code();
  return 0;
}

int reserve_room_ahead(int descriptor, std::uint64_t size) {
  FILE_ALLOCATION_INFO allocation{};
  allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(size);
  const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
  if (::SetFileInformationByHandle(handle, FileAllocationInfo, &allocation, sizeof allocation))
    return 0;
  // File systems (and systems) that reserve nothing ahead answer so.
  const DWORD error = ::GetLastError();
  return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED ||
                 error == ERROR_CALL_NOT_IMPLEMENTED
             ? EOPNOTSUPP
             : last_error_code();
}

// Not measured on any Windows file system.
bool reserving_ahead_pays(int) { return false; }

int copy_contents(int from, int to, std::uint64_t size) {
  if (::_lseeki64(from, 0, SEEK_SET) != 0 || ::_lseeki64(to, 0, SEEK_SET) != 0) return errno;
  std::vector<char> block(COPY_BLOCK);
  for (std::uint64_t done = 0; done < size;) {
    const int got = ::_read(from, block.data(), static_cast<unsigned>(block.size()));
    if (got < 0) return errno;
    if (got == 0) return EIO;  // the scratch file is shorter than it was
    if (::_write(to, block.data(), static_cast<unsigned>(got)) != got)
      return errno != 0 ? errno : EIO;
    done += static_cast<std::uint64_t>(got);
  }
  return cut_file_at(to, size);
}

int cut_file_at(int descriptor, std::uint64_t size) {
  return ::_chsize_s(descriptor, static_cast<long long>(size));
}

void empty_file(int descriptor) noexcept { ::_chsize_s(descriptor, 0); }

int close_descriptor(int descriptor) noexcept { return ::_close(descriptor) == 0 ? 0 : errno; }

}  // namespace quarlex
