#include "write/output_file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <utility>

#include "platform/signal_cleanup.h"
#include "write/scratch_name.h"

namespace quarlex {
namespace {

constexpr int SCRATCH_ATTEMPTS = 100;

std::uint64_t scratch_salt(int attempt) {
  const auto now =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  constexpr std::uint64_t MIX = 0x9E37'79B9'7F4A'7C15u;
  return now * MIX + static_cast<std::uint64_t>(attempt);
}

// What a file system may take beyond the blocks of the text itself, for
// its own records of them: a share of them, and a few blocks whatever the
// size.
constexpr std::uint64_t RECORDS_SHARE = 64;
constexpr std::uint64_t RECORD_BLOCKS = 16;

std::uint64_t whole_blocks(std::uint64_t bytes, std::uint64_t block) {
  return (bytes + block - 1) / block * block;
}

// The room that writing `size` bytes over the file takes beyond what it
// has. Only blocks within its length count as its own: room beyond its
// end may be a file system's guess that it gives back at any time (XFS).
std::uint64_t room_needed(const RoomFacts& facts, std::uint64_t size) {
  const std::uint64_t block = facts.block > 0 ? facts.block : 1;
  const std::uint64_t blocks = whole_blocks(size, block);
  const std::uint64_t kept =
      facts.copies_on_write
          ? 0
          : std::min({facts.allocated, whole_blocks(facts.length, block), blocks});
  const std::uint64_t text = blocks - kept;
  return text == 0 ? 0 : text + text / RECORDS_SHARE + RECORD_BLOCKS * block;
}

OutputFile::Opening opened(int descriptor) {
  if (descriptor == -1) return {-1, errno};
  return {descriptor};
}

OutputFile::Opening opened_scratch(int descriptor) {
  OutputFile::Opening opening = opened(descriptor);
  opening.into_scratch = true;
  opening.scratch_failed = descriptor == -1;
  return opening;
}

}  // namespace

OutputWay way_for_existing_file(const ReplacementFacts& facts) {
  const bool rename_keeps_everything =
      !facts.other_names && facts.folder_write_error == 0 && !facts.folder_entries_fixed &&
      !facts.mount_point && !facts.sticky_protected && facts.owner_kept && facts.group_kept &&
      facts.attributes_kept && facts.flags_kept;
  return rename_keeps_everything ? OutputWay::ByRename : OutputWay::InPlace;
}

RoomWay way_to_make_room(const RoomFacts& facts, std::uint64_t size) {
  const std::uint64_t needed = room_needed(facts, size);
  // Also where a reservation holds: one that fails part way may keep some
  // of what it took (ext4 keeps the blocks of a deeper extent tree).
  if (facts.free < needed) return RoomWay::TooLittle;
  return facts.reservation_holds && needed > 0 ? RoomWay::Reserve : RoomWay::Enough;
}

OutputFile::OutputFile(const char* path, const ClosedAtStart& closed) {
  OutputLocation location = locate_output(path);
  if (location.error != 0) {
    error_ = location.error;
    return;
  }
  if (location.descriptor != -1) {
    take_descriptor(location.descriptor, closed);
    return;
  }
  if (location.opened_by_system) {
    if (const int error = open_by_system(path, descriptor_); error != 0) {
      error_ = error;
      return;
    }
    decide_for(descriptor_facts(descriptor_), closed);
    return;
  }
  place_ = std::move(location.place);
  full_path_ = place_->full_path();
  const FileFacts facts = place_->facts();
  if (facts.kind == FileKind::Missing) {
    const ReplacementFacts folder = place_->replacement_facts(-1);
    error_ = folder.folder_write_error;
    // A folder that takes new names but lets none go (append-only): the
    // file gets its name only once the text is complete, and no other.
    way_ = error_ != 0 ? OutputWay::Refused : OutputWay::ByRename;
    named_once_complete_ = folder.folder_entries_fixed;
    return;
  }
  if (facts.kind == FileKind::Directory) {
    error_ = EISDIR;
    return;
  }
  // Opening for writing tells, before anything changes, whether the user
  // may write the file, even where the folder would let a new file take
  // its place.
  if (const int error = place_->open_existing(descriptor_); error != 0) {
    error_ = error;
    return;
  }
  decide_for(descriptor_facts(descriptor_), closed);
}

void OutputFile::take_descriptor(int descriptor, const ClosedAtStart& closed) {
  const auto standard = static_cast<std::size_t>(descriptor);
  facts_ = descriptor_facts(descriptor);
  if ((standard < closed.closed.size() && closed.closed[standard]) ||
      facts_.kind == FileKind::Missing) {
    error_ = EBADF;
    return;
  }
  full_path_ = descriptor_path(descriptor);
  if (descriptor_writable(descriptor)) {
    write_through_copy_of(descriptor);
    return;
  }
  // Open only for reading: the file behind it is opened anew for writing.
  if (const int error = reopen_for_writing(descriptor, descriptor_); error != 0) {
    error_ = error;
    return;
  }
  decide_for(descriptor_facts(descriptor_), closed);
}

void OutputFile::write_through_copy_of(int descriptor) {
  descriptor_ = copy_descriptor(descriptor);
  error_ = descriptor_ == -1 ? errno : 0;
  way_ = descriptor_ == -1 ? OutputWay::Refused : OutputWay::ThroughDescriptor;
}

void OutputFile::decide_for(const FileFacts& facts, const ClosedAtStart& closed) {
  facts_ = facts;
  if (facts.kind == FileKind::Missing || facts.kind == FileKind::Directory) {
    error_ = facts.kind == FileKind::Directory ? EISDIR : EBADF;
    return;
  }
  // The file a standard descriptor has open, under whatever name (a shell's
  // >> log.txt): replacing it would leave that descriptor on a removed file
  // and lose what it appended.
  if (const int standard = standard_descriptor_on(facts, closed); standard != -1) {
    close_descriptor(descriptor_);
    write_through_copy_of(standard);
    return;
  }
  if (facts.kind != FileKind::Regular) {
    way_ = OutputWay::AsStream;
    return;
  }
  // Reached without its folder (through a descriptor or the process
  // table): only written over can it stay what it is.
  way_ = place_ != nullptr ? way_for_existing_file(place_->replacement_facts(descriptor_))
                           : OutputWay::InPlace;
}

bool OutputFile::is_file_of(int source) const {
  const FileFacts source_facts = descriptor_facts(source);
  const std::string source_path = descriptor_path(source);
  // Whether the file system folds case is read from the mount table, which
  // costs more than the whole of a small run: asked only where nothing
  // else tells the two files apart.
  return same_file(facts_, full_path_, source_facts, source_path, false) ||
         (same_file(facts_, full_path_, source_facts, source_path, true) &&
          names_fold_case(source));
}

std::size_t OutputFile::existing_start(char* bytes, std::size_t size) const {
  if ((way_ != OutputWay::ByRename && way_ != OutputWay::InPlace) || place_ == nullptr ||
      facts_.kind != FileKind::Regular || facts_.size == 0)
    return 0;
  return place_->read_start(bytes, size);
}

OutputFile::Opening OutputFile::open() {
  switch (way_) {
    case OutputWay::Refused:
      return {-1, error_};
    case OutputWay::ThroughDescriptor:
    case OutputWay::AsStream:
      return opened(std::exchange(descriptor_, -1));
    case OutputWay::ByRename:
      return open_scratch_beside();
    case OutputWay::InPlace:
      break;
  }
  if (const int error = create_nameless_scratch(scratch_); error != 0) {
    Opening failed{-1, error, true};
    failed.scratch_elsewhere = true;
    return failed;
  }
  Opening opening = opened_scratch(copy_descriptor(scratch_));
  opening.scratch_elsewhere = true;
  return opening;
}

OutputFile::Opening OutputFile::open_scratch_beside() {
  const bool as_new_file = facts_.kind == FileKind::Missing;
  // Nameless where the file system makes such files: nothing of it can
  // outlive the run, not even SIGKILL.
  const int nameless = place_->create_nameless_scratch(as_new_file, scratch_);
  if (nameless != EOPNOTSUPP) {
    if (nameless != 0) return {-1, nameless, true};
    scratch_nameless_ = true;
    return opened_scratch(copy_descriptor(scratch_));
  }
  // A name made in an append-only folder could never go again: the text is
  // completed elsewhere and copied into a file made once it is complete.
  if (named_once_complete_) {
    way_ = OutputWay::InPlace;
    return open();
  }
  // No signal may come between the scratch file's creation and its record
  // in the cleanup slot.
  const SignalsHeldBack held;
  int error = EEXIST;
  for (int attempt = 0; attempt < SCRATCH_ATTEMPTS && error == EEXIST; ++attempt) {
    std::string name = scratch_name(place_->name(), scratch_salt(attempt));
    error = place_->create_scratch(name, as_new_file, scratch_);
    if (error == 0) scratch_name_ = std::move(name);
  }
  if (error != 0) return {-1, error, true};
  clean_up_by_removing(*place_, scratch_name_);
  return opened_scratch(copy_descriptor(scratch_));
}

std::unique_ptr<OutputSink> OutputFile::Opening::sink() const {
  return into_scratch ? scratch_file_sink(descriptor) : descriptor_sink(descriptor);
}

OutputFile::Installing OutputFile::install() {
  switch (way_) {
    case OutputWay::Refused:
      return {error_, Step::Write};
    case OutputWay::ThroughDescriptor:
    case OutputWay::AsStream:
      return {};  // every byte went where it belongs as it was written
    case OutputWay::ByRename:
      break;
    case OutputWay::InPlace:
      return copy_over();
  }
  if (descriptor_ != -1) {
    if (const int error = copy_attributes(descriptor_, scratch_); error != 0)
      return {error, Step::Replace};
    close_descriptor(std::exchange(descriptor_, -1));
  }
  if (scratch_nameless_) {
    if (named_once_complete_) return link_as_output();
    if (const int error = name_scratch(); error != 0) return {error, Step::Replace};
  }
  // Some systems replace no file that is open, this process's own
  // descriptors included.
  if (const int error = close_descriptor(std::exchange(scratch_, -1)); error != 0)
    return {error, Step::Close};
  const SignalsHeldBack held;
  clean_up_nothing();
  if (const int error = place_->replace_with(scratch_name_); error != 0) {
    clean_up_by_removing(*place_, scratch_name_);
    return {error, Step::Replace};
  }
  scratch_name_.clear();
  return {};
}

int OutputFile::name_scratch() {
  // No signal may come between the name and its record in the cleanup slot.
  const SignalsHeldBack held;
  int error = EEXIST;
  for (int attempt = 0; attempt < SCRATCH_ATTEMPTS && error == EEXIST; ++attempt) {
    std::string name = scratch_name(place_->name(), scratch_salt(attempt));
    error = place_->link_scratch(scratch_, name);
    if (error == 0) scratch_name_ = std::move(name);
  }
  if (error == 0) clean_up_by_removing(*place_, scratch_name_);
  return error;
}

OutputFile::Installing OutputFile::link_as_output() {
  // The one name the file gets; one that another run made meanwhile stays
  // (EEXIST).
  if (const int error = place_->link_scratch(scratch_, place_->name()); error != 0)
    return {error, Step::Replace};
  const int error = close_descriptor(std::exchange(scratch_, -1));
  return error != 0 ? Installing{error, Step::Close} : Installing{};
}

OutputFile::Installing OutputFile::copy_over() {
  const std::uint64_t size = descriptor_facts(scratch_).size;
  if (descriptor_ == -1) {
    if (const int error = place_->create_new(descriptor_); error != 0) return {error, Step::Write};
  }
  // Before the first byte of OUTPUT changes: a full disk fails here, with
  // the old text whole.
  if (const int error = make_room(size); error != 0) return {error, Step::Write};
  {
    // From giving back the room reserved straight to emptying: no moment
    // in between keeps the room.
    const SignalsHeldBack held;
    clean_up_by_emptying(descriptor_);
  }
  const int error = copy_contents(scratch_, descriptor_, size);
  // Part of the new text over the rest of the old would pass for a file;
  // an empty one does not.
  if (error != 0) empty_file(descriptor_);
  {
    const SignalsHeldBack held;
    clean_up_nothing();
  }
  if (error != 0) return {error, Step::Write};
  const int close_error = close_descriptor(std::exchange(descriptor_, -1));
  return close_error != 0 ? Installing{close_error, Step::Close} : Installing{};
}

int OutputFile::make_room(std::uint64_t size) {
  const RoomFacts room = room_facts(descriptor_);
  const RoomWay way = way_to_make_room(room, size);
  if (way == RoomWay::TooLittle) return ENOSPC;
  if (way == RoomWay::Enough) return 0;
  const FileFacts old = descriptor_facts(descriptor_);
  // Whatever ends the run from here until the copy starts gives back what
  // the reservation took, all of it beyond the old length: a reservation
  // holds only where the file has no hole. Armed until the copy starts.
  {
    const SignalsHeldBack held;
    clean_up_by_giving_back(descriptor_, old.size, old.modified);
  }
  const int error = reserve_room_beyond(descriptor_, old.size / room.block * room.block, size);
  // A file system that turns out to reserve nothing has the room free, as
  // one known to reserve nothing has.
  if (error == 0 || error == EOPNOTSUPP) return 0;
  const SignalsHeldBack held;
  give_back_room(descriptor_, old.size, old.modified);
  clean_up_nothing();
  return error;
}

OutputFile::~OutputFile() {
  {
    const SignalsHeldBack held;
    clean_up_nothing();
  }
  if (!scratch_name_.empty()) place_->remove(scratch_name_);
  if (scratch_ != -1) close_descriptor(scratch_);
  if (descriptor_ != -1) close_descriptor(descriptor_);
}

OutputFile::SignalCleanup::SignalCleanup() { install_signal_cleanup(); }
OutputFile::SignalCleanup::~SignalCleanup() { remove_signal_cleanup(); }

}  // namespace quarlex
