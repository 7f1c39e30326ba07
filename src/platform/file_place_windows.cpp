#include "platform/file_place_windows.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/signal_cleanup.h"
#include "platform/signal_cleanup_windows.h"
#include "platform/unicode_windows.h"

namespace quarlex {
namespace {

// How long a replacement that another process holds up is tried again:
// two seconds in all.
constexpr int REPLACE_ATTEMPTS = 200;
constexpr DWORD REPLACE_RETRY_MS = 10;
constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr std::size_t COPY_BLOCK = 256 * 1024;

// A path past Windows' rewriting and its length limit; a device, or a file
// reached through the device namespace; the same paths as the kernel names
// them, which a rename through a handle needs.
constexpr std::wstring_view LOCAL_PREFIX = L"\\\\?\\";
constexpr std::wstring_view DEVICE_PREFIX = L"\\\\.\\";
constexpr std::wstring_view KERNEL_PREFIX = L"\\??\\";
constexpr std::wstring_view SHARE_PREFIX = L"\\\\";
constexpr std::wstring_view LOCAL_SHARE_PREFIX = L"\\\\?\\UNC\\";
static_assert(LOCAL_PREFIX.size() == KERNEL_PREFIX.size() &&
              DEVICE_PREFIX.size() == KERNEL_PREFIX.size());

constexpr wchar_t SEPARATOR = L'\\';
constexpr wchar_t STREAM_SEPARATOR = L':';

std::wstring path_of(const FilePlace::State& place, const std::string& name) {
  return place.folder + wide_from_utf8(name);
}

// The kernel's name for a path that system_path gave.
std::wstring kernel_path(const std::wstring& path) {
  return std::wstring(KERNEL_PREFIX) + path.substr(KERNEL_PREFIX.size());
}

// Whether Windows would write `path` under another name than its last
// part says: it drops the dots and blanks that end a name, so "out.h." is
// written as "out.h", whose flavour the typed name does not choose.
bool renamed_by_windows(std::string_view path) {
  if (path.starts_with("\\\\?\\")) return false;
  std::size_t start = path.find_last_of("/\\");
  start = start != std::string_view::npos ? start + 1 : path.size() >= 2 && path[1] == ':' ? 2 : 0;
  const std::string_view name = path.substr(start);
  if (name.empty() || name == "." || name == "..") return false;
  return name.back() == '.' || name.back() == ' ';
}

// A C library descriptor for `handle`, which it takes over.
int descriptor_for(HANDLE handle, int& descriptor, int flags = _O_BINARY) {
  if (handle == INVALID_HANDLE_VALUE) return last_error_code();
  descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
  if (descriptor == -1) {
    ::CloseHandle(handle);
    return EMFILE;
  }
  return 0;
}

HANDLE open_handle(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                   DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  return ::CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

// Opens `path` for `access` as the system takes it. A device that is not
// there (COM9, LPT1 without a port) answers as a missing file would.
int open_path(const char* path, DWORD access, DWORD flags, HANDLE& handle) {
  const SystemPath system = system_path(path);
  if (system.error != 0) return system.error;
  handle = open_handle(system.path, access, SHARE_ALL, OPEN_EXISTING, flags);
  if (handle != INVALID_HANDLE_VALUE) return 0;
  const int error = last_error_code();
  // CON answers so in a process without a console.
  return system.device && (error == ENOENT || error == EBADF) ? ENODEV : error;
}

bool mark_for_deletion(HANDLE handle, bool deleted) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = deleted ? TRUE : FALSE;
  return ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

// Renames the file open on `handle` to `target`, which it replaces.
bool rename_through(HANDLE handle, const std::wstring& target) {
  const std::size_t name_bytes = target.size() * sizeof(wchar_t);
  const std::size_t bytes = offsetof(FILE_RENAME_INFO, FileName) + name_bytes + sizeof(wchar_t);
  std::vector<std::uint64_t> buffer((bytes + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(name_bytes);
  target.copy(rename->FileName, target.size());
  return ::SetFileInformationByHandle(handle, FileRenameInfo, rename, static_cast<DWORD>(bytes)) !=
         0;
}

// Why a replacement was refused. Windows refuses to replace a file that
// another program has open (even one that shares its deletion) with the
// same code as a file the user may not replace; opening it shared with
// no one tells the two apart.
int replace_error(const std::wstring& target) {
  const int error = last_error_code();
  if (error != EACCES) return error;
  const HANDLE probe = open_handle(target, DELETE, 0, OPEN_EXISTING);
  if (probe != INVALID_HANDLE_VALUE) {
    ::CloseHandle(probe);
    return error;
  }
  return ::GetLastError() == ERROR_SHARING_VIOLATION ? EBUSY : error;
}

}  // namespace

int last_error_code() {
  switch (::GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_CANNOT_MAKE:
    case ERROR_NETWORK_ACCESS_DENIED:
      return EACCES;
    case ERROR_PRIVILEGE_NOT_HELD:
      return EPERM;
    // Another program has the file open without sharing what this run
    // needs, or has locked a part of it.
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return EBUSY;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_PARAMETER:
      return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW:
      return ENAMETOOLONG;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    // A drive letter with nothing behind it, a drive without its medium, a
    // device that is gone.
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_DEVICE:
      return ENODEV;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILE_TOO_LARGE:
      return EFBIG;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return EPIPE;
    default:
      return EIO;
  }
}

SystemPath system_path(const char* path) {
  const std::wstring given = wide_from_utf8(path);
  if (given.empty()) return {{}, false, ENOENT};
  if (given.starts_with(LOCAL_PREFIX)) return {given};
  const DWORD size = ::GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
  if (size == 0) return {{}, false, last_error_code()};
  std::wstring full(size, L'\0');
  const DWORD length = ::GetFullPathNameW(given.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return {{}, false, length == 0 ? last_error_code() : EIO};
  full.resize(length);
  // NUL, COM1, or C:\x\nul.txt where Windows takes that for NUL.
  if (full.starts_with(DEVICE_PREFIX))
    return {full, full.find(SEPARATOR, DEVICE_PREFIX.size()) == std::wstring::npos};
  if (full.starts_with(SHARE_PREFIX))
    return {std::wstring(LOCAL_SHARE_PREFIX) + full.substr(SHARE_PREFIX.size())};
  // A drive letter with no drive behind it: said so, not taken for a
  // missing folder.
  constexpr std::size_t DRIVE_ROOT = 3;  // "C:\"
  if (::GetDriveTypeW(full.substr(0, DRIVE_ROOT).c_str()) == DRIVE_NO_ROOT_DIR)
    return {{}, false, ENODEV};
  return {std::wstring(LOCAL_PREFIX) + full};
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
  // WRITE_DAC: the old file's access list is set on it at the end. DELETE:
  // it is marked for deletion, and renamed, through its handle. Writing is
  // shared too: between the rename and the close of this handle the file
  // is the output, and another run starting then opens the output for
  // writing, which a handle that did not share writing would refuse as
  // busy.
  const std::wstring path = path_of(*state_, scratch);
  const HANDLE handle =
      open_handle(path, GENERIC_READ | GENERIC_WRITE | WRITE_DAC | DELETE, SHARE_ALL, CREATE_NEW);
  if (handle == INVALID_HANDLE_VALUE) return last_error_code();
  // Marked at once: the system deletes it when its last handle closes,
  // which the end of the process does however it comes (TerminateProcess,
  // a console closed, a crash).
  HANDLE kept = INVALID_HANDLE_VALUE;
  if (!mark_for_deletion(handle, true) ||
      !::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &kept, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
    const int error = last_error_code();
    ::CloseHandle(handle);
    ::DeleteFileW(path.c_str());
    return error;
  }
  if (const int error = descriptor_for(handle, descriptor); error != 0) {
    ::CloseHandle(kept);
    return error;
  }
  if (state_->scratch != INVALID_HANDLE_VALUE) ::CloseHandle(state_->scratch);
  state_->scratch = kept;
  return 0;
}

// Windows' nameless files are in the folder GetTempPath names, with a name
// the system removes: none is made beside the output.
int FilePlace::create_nameless_scratch(bool, int& descriptor) const {
  descriptor = -1;
  return EOPNOTSUPP;
}

int FilePlace::link_scratch(int, const std::string&) const { return EOPNOTSUPP; }

// The scratch file's handle puts it in the old one's place, in one step.
// That fails while another process has the old file open without sharing
// deletion, or is replacing it at the same moment (a parallel build
// writing one output twice; a virus scanner), so it is tried again for a
// while. Until the rename the scratch file stays marked for deletion.
int FilePlace::replace_with(const std::string&) const {
  const HANDLE scratch = state_->scratch;
  if (scratch == INVALID_HANDLE_VALUE) return EBADF;
  const std::wstring target = path_of(*state_, name_);
  if (!mark_for_deletion(scratch, false)) return last_error_code();
  const std::wstring kernel_target = kernel_path(target);
  for (int attempt = 1;; ++attempt) {
    if (rename_through(scratch, kernel_target)) break;
    const DWORD error = ::GetLastError();
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) ||
        attempt == REPLACE_ATTEMPTS) {
      const int reason = replace_error(target);
      mark_for_deletion(scratch, true);
      return reason;
    }
    ::Sleep(REPLACE_RETRY_MS);
  }
  ::CloseHandle(scratch);
  state_->scratch = INVALID_HANDLE_VALUE;
  return 0;
}

// Its last handle closed, the system deletes it.
void FilePlace::remove(const std::string&) const noexcept {
  if (state_->scratch == INVALID_HANDLE_VALUE) return;
  ::CloseHandle(state_->scratch);
  state_->scratch = INVALID_HANDLE_VALUE;
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
  const SystemPath system = system_path(path);
  if (system.error != 0) return {system.error, -1, false, nullptr};
  // Written as the device takes it, or refused, before anything is
  // converted.
  if (system.device) return {0, -1, true, nullptr};
  if (renamed_by_windows(path)) return {EINVAL, -1, false, nullptr};
  const std::size_t separator = system.path.rfind(SEPARATOR);
  std::wstring name = system.path.substr(separator + 1);
  if (name.empty() || name == L"." || name == L"..") return {EISDIR, -1, false, nullptr};
  // A stream of a file ("out.h:data"): its scratch file would be a stream
  // of another file, which no rename puts in its place.
  if (name.find(STREAM_SEPARATOR) != std::wstring::npos) return {EINVAL, -1, false, nullptr};
  auto place = std::make_unique<FilePlace>(
      FilePlace::StatePointer(new FilePlace::State(system.path.substr(0, separator + 1))),
      utf8_from_wide(name));
  // A name that is missing is a new file; one in a missing folder cannot be.
  if (place->facts().kind == FileKind::Missing && ::GetLastError() != ERROR_FILE_NOT_FOUND)
    return {last_error_code(), -1, false, nullptr};
  return {0, -1, false, std::move(place)};
}

int open_by_system(const char* path, int& descriptor) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  if (const int error = open_path(path, GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL, handle); error != 0)
    return error;
  return descriptor_for(handle, descriptor);
}

std::FILE* open_for_reading(const char* path) {
  // Backup semantics open a folder too, so that it is told as one ("Is a
  // directory") rather than refused as if the user lacked the right.
  HANDLE handle = INVALID_HANDLE_VALUE;
  int descriptor = -1;
  int error =
      open_path(path, GENERIC_READ, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, handle);
  if (error == 0) error = descriptor_for(handle, descriptor, _O_RDONLY | _O_BINARY);
  if (error != 0) {
    errno = error;
    return nullptr;
  }
  std::FILE* stream = ::_fdopen(descriptor, "rb");
  if (stream == nullptr) {
    error = errno;
    ::_close(descriptor);
    errno = error;
  }
  return stream;
}

// No name leads back to a descriptor's file here; and no output is ever
// located as a descriptor, so this is not reached.
int reopen_for_writing(int, int& reopened) {
  reopened = -1;
  return EBADF;
}

std::string nameless_scratch_folder() {
  std::array<wchar_t, MAX_PATH + 1> folder{};
  const DWORD length = ::GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
  return length == 0 || length >= folder.size()
             ? std::string()
             : utf8_from_wide(std::wstring_view(folder.data(), length));
}

int create_nameless_scratch(int& descriptor) {
  std::array<wchar_t, MAX_PATH + 1> folder{};
  std::array<wchar_t, MAX_PATH + 1> path{};
  if (::GetTempPathW(static_cast<DWORD>(folder.size()), folder.data()) == 0 ||
      ::GetTempFileNameW(folder.data(), L"qlx", 0, path.data()) == 0)
    return last_error_code();
  // Deleted by the system when its last handle closes, however the
  // process ends.
  const HANDLE handle = ::CreateFileW(
      path.data(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
      nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const int error = last_error_code();
    ::DeleteFileW(path.data());
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

// A console event runs its cleanup on a thread of its own, while this one
// copies: each block is copied with the cleanup held back, and the copy
// stops at the next block once an event has come, so that the cleanup
// empties OUTPUT after the last write, never beneath one. A complete copy
// leaves nothing to clean up.
int copy_contents(int from, int to, std::uint64_t size) {
  if (::_lseeki64(from, 0, SEEK_SET) != 0 || ::_lseeki64(to, 0, SEEK_SET) != 0) return errno;
  std::vector<char> block(COPY_BLOCK);
  for (std::uint64_t done = 0; done < size;) {
    const SignalsHeldBack held;
    if (ending_requested()) return EINTR;
    const int got = ::_read(from, block.data(), static_cast<unsigned>(block.size()));
    if (got < 0) return errno;
    if (got == 0) return EIO;  // the scratch file is shorter than it was
    if (::_write(to, block.data(), static_cast<unsigned>(got)) != got)
      return errno != 0 ? errno : EIO;
    done += static_cast<std::uint64_t>(got);
  }
  const SignalsHeldBack held;
  if (ending_requested()) return EINTR;
  if (const int error = cut_file_at(to, size); error != 0) return error;
  clean_up_nothing();
  return 0;
}

int cut_file_at(int descriptor, std::uint64_t size) {
  return ::_chsize_s(descriptor, static_cast<long long>(size));
}

void empty_file(int descriptor) noexcept { ::_chsize_s(descriptor, 0); }

int close_descriptor(int descriptor) noexcept { return ::_close(descriptor) == 0 ? 0 : errno; }

}  // namespace quarlex
