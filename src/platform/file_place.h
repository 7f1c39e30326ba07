#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "platform/file_facts.h"

namespace quarlex {

// What tells whether a new file renamed over an existing one would keep
// everything that writing into the old file keeps. Read from the file, its
// folder and the user's rights; nothing is tried.
struct ReplacementFacts {
  bool other_names = false;           // hard links, which would keep the old text
  int folder_write_error = 0;         // why the user may not add a name to the folder, else 0
  bool folder_entries_fixed = false;  // append-only or immutable folder: no name leaves it
  bool mount_point = false;           // something is mounted on the name
  bool sticky_protected = false;      // sticky folder, the file and folder of other users
  bool owner_kept = true;             // a new file can be given the old file's owner
  bool group_kept = true;             // ... and its group
  bool attributes_kept = true;        // ... and every access list and extended attribute
  bool flags_kept = true;             // no file flag (chattr) that a new file would lack
};

// A name in a folder that is held open: every call acts on the folder the
// name was found in, whatever is renamed or replaced meanwhile.
class FilePlace {
 public:
  // How the folder is held: per system, with the one call that lets go of it.
  struct State;
  struct StateDeleter {
    void operator()(State* state) const noexcept;
  };
  using StatePointer = std::unique_ptr<State, StateDeleter>;

  FilePlace(StatePointer state, std::string name)
      : state_(std::move(state)), name_(std::move(name)) {}

  const State& state() const { return *state_; }

  // The name in its folder.
  const std::string& name() const { return name_; }

  // What the name holds now, a link not followed.
  FileFacts facts() const;
  // The folder's path and the name, as the system gives the folder's path
  // ("" where it gives none): for telling one file under two spellings.
  std::string full_path() const;

  // Why the user may not add a name to the folder, else 0.
  int folder_write_error() const;

  // Opens the existing file for writing without changing it: no create, no
  // truncation, no link followed, no wait on a pipe. Refused (EACCES) where
  // the system would refuse a shell's > on it (another user's file in a
  // sticky folder, where the system protects such files). Sets
  // `descriptor`; returns 0 or the system's reason.
  int open_existing(int& descriptor) const;
  // Creates the file, which must not exist yet, for writing: for a new file
  // written where it is. Returns 0 or the system's reason.
  int create_new(int& descriptor) const;

  // Reads what decides between replacing and writing in place; `existing`
  // is open_existing()'s descriptor.
  ReplacementFacts replacement_facts(int existing) const;

  // Creates the file `scratch` beside the name, which must not exist yet,
  // open for reading and writing: only the user may use it, unless
  // `as_new_file`, when it gets what any new file in the folder gets (the
  // umask, the folder's default access list). Sets `descriptor`; returns 0
  // or the system's reason (EEXIST where the name is taken).
  int create_scratch(const std::string& scratch, bool as_new_file, int& descriptor) const;
  // Creates a scratch file in the folder that has no name, open for reading
  // and writing, with what create_scratch() gives it. Sets `descriptor`;
  // returns 0 or the system's reason (EOPNOTSUPP where the file system
  // makes no nameless files).
  int create_nameless_scratch(bool as_new_file, int& descriptor) const;
  // Gives the nameless scratch file on `descriptor` the name `name` in the
  // folder. Returns 0 or the system's reason (EEXIST where it is taken).
  int link_scratch(int descriptor, const std::string& name) const;
  // Puts the scratch file named `scratch` in the place of the name, in one
  // step. Returns 0 or the system's reason.
  int replace_with(const std::string& scratch) const;
  // Removes the scratch file named `scratch`, if it is still there.
  void remove(const std::string& scratch) const noexcept;

  // Reads the first up to `size` bytes of the existing file into `bytes`;
  // returns how many, 0 where it cannot be read.
  std::size_t read_start(char* bytes, std::size_t size) const;

 private:
  StatePointer state_;
  std::string name_;
};

// Where an output path leads, found without creating or changing anything.
struct OutputLocation {
  int error = 0;        // why the path leads nowhere the tool may write
  int descriptor = -1;  // the process's descriptor the path names (/dev/stdout)
  // Set where only the system can follow the path (a link of the process
  // table other than one of this process's descriptors): the file is
  // reached by opening the path.
  bool opened_by_system = false;
  std::unique_ptr<FilePlace> place;  // else the name in its folder
};

// Follows `path` as the system would for this user, and no further: a
// link the system refuses to follow (a link in a sticky, world-writable
// folder owned by neither the user nor the folder's owner, where the
// system protects such links) is refused with EACCES, and chains of links
// are followed whatever their length when joined. Stops at a name that
// does not exist (the target of a dangling link) or is not a link.
OutputLocation locate_output(const char* path);

// Opens `path` for writing as the system finds it, without truncation or a
// wait on a pipe. Sets `descriptor`; returns 0 or the system's reason.
int open_by_system(const char* path, int& descriptor);

// Opens `path` for reading its bytes as they are, a folder too (so that
// it can be told as one). Returns nullptr with errno set on failure.
std::FILE* open_for_reading(const char* path);

// Opens the file behind `descriptor`, which is open for reading only, anew
// for writing, without truncation. Sets `reopened`; returns 0 or the
// system's reason.
int reopen_for_writing(int descriptor, int& reopened);

// The folder that holds the scratch files that have no name: TMPDIR,
// else the system's own.
std::string nameless_scratch_folder();

// Creates a scratch file that has no name (nameless_scratch_folder() holds
// it until it is closed), open for reading and writing. Sets `descriptor`;
// returns 0 or the system's reason.
int create_nameless_scratch(int& descriptor);

// Gives the file on `to` the owner, group, mode (every 07777 bit), access
// list and extended attributes of the file on `from`, and no others.
// Returns 0 or the system's reason.
int copy_attributes(int from, int to);

// Reserves room on the disk for the first `size` bytes of the file on
// `descriptor`, without changing what it holds or its length. Returns 0,
// EOPNOTSUPP where the file system reserves nothing ahead, or the system's
// reason.
int reserve_room_ahead(int descriptor, std::uint64_t size);

// Whether reserving room ahead makes writing the file on `descriptor`
// cheaper. Only where the file system keeps reserved room as bookkeeping
// that spares each write finding blocks of its own (the ext family);
// elsewhere it either reserves by filling memory with zeros (tmpfs),
// already reserves ahead by itself (XFS), or has not been measured.
bool reserving_ahead_pays(int descriptor);

// What a file system promises about the room that writing over an
// existing file takes, read from the file and its file system; nothing is
// tried.
struct RoomFacts {
  // A reservation (reserve_room_ahead) makes sure of every block that
  // writing over the file takes: the file system writes into the blocks a
  // file has (no copy on write, no extent shared with another file), and
  // the file has no hole that the reservation would fill for good.
  bool reservation_holds = false;
  // Every block written takes a new one, even over blocks the file has
  // (copy-on-write file systems, extents shared with another file).
  bool copies_on_write = false;
  std::uint64_t length = 0;     // the file's length in bytes
  std::uint64_t allocated = 0;  // bytes the file has on the disk
  std::uint64_t free = 0;       // bytes the user may still take on its file system
  std::uint64_t block = 1;      // the file system's unit of room
};
RoomFacts room_facts(int descriptor);

// Reserves room on the disk for bytes `from` to `size` of the file on
// `descriptor`, as reserve_room_ahead() does: where the file has every
// block before `from`, the room for writing its first `size` bytes.
int reserve_room_beyond(int descriptor, std::uint64_t from, std::uint64_t size);

// Overwrites the file on `to` with the first `size` bytes of the file on
// `from` and cuts it to that length. Returns 0 or the system's reason.
int copy_contents(int from, int to, std::uint64_t size);

// Cuts the file on `descriptor` to `size` bytes, which also gives back the
// room reserved beyond them. Returns 0 or the system's reason.
int cut_file_at(int descriptor, std::uint64_t size);

// Cuts the file on `descriptor` to nothing. Safe in a signal handler.
void empty_file(int descriptor) noexcept;

// Gives back the room a reservation took beyond `length` bytes of the file
// on `descriptor`, whose length it is, and puts back its modification time
// `modified` (nanoseconds), which the reservation may have moved: a build
// that compares times must not take the old text for new. Safe in a
// signal handler.
void give_back_room(int descriptor, std::uint64_t length, std::int64_t modified) noexcept;

// Closes `descriptor`; returns 0 or the system's reason.
int close_descriptor(int descriptor) noexcept;

}  // namespace quarlex
