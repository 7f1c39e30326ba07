#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace quarlex {

// Which file a name or a descriptor leads to: two names of one file give
// equal identities (on file systems that keep inode numbers; see
// FileFacts::changed for those that do not).
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

enum class FileKind { Missing, Regular, Directory, Other };

// What a file is, read in one call. `Other` covers devices, pipes and
// sockets.
struct FileFacts {
  FileKind kind = FileKind::Missing;
  FileIdentity identity;
  std::uint64_t size = 0;
  std::uint64_t links = 0;
  // In nanoseconds. No two files share both times and the size by chance,
  // so they tell one file under two names where the file system hands out
  // a new inode number per name (FUSE file systems, case-insensitive ones).
  std::int64_t modified = 0;
  std::int64_t changed = 0;
};

// The descriptor under `stream`.
int descriptor_of(std::FILE* stream);

// The facts of the file open on `descriptor`; kind Missing if none is.
FileFacts descriptor_facts(int descriptor);

// The path the system gives for the file open on `descriptor`, folders
// and links resolved; "" where it gives none.
std::string descriptor_path(int descriptor);

// Whether the file system of the file open on `descriptor`, or the folder
// it was opened in, takes names that differ in the case of letters only
// for one name (FAT, exFAT, Windows shares, casefolded folders).
bool names_fold_case(int descriptor);

// Whether `descriptor` is open for writing.
bool descriptor_writable(int descriptor);

// Writes all `size` bytes of `text` to `descriptor`, however many calls
// that takes, also where the descriptor does not wait for room (a pipe set
// non-blocking by whoever opened it). Returns 0 or the system's reason
// (EIO where it gave none).
int write_all(int descriptor, const char* text, std::size_t size);

// A new descriptor for the file open on `descriptor`, above the standard
// ones and not inherited by programs started later; -1 with errno set.
int copy_descriptor(int descriptor);

}  // namespace quarlex
