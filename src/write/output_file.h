#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/file_facts.h"
#include "platform/file_place.h"
#include "platform/standard_streams.h"
#include "write/file_identity.h"
#include "write/output_sink.h"

namespace quarlex {

// How a run's include file reaches OUTPUT.
enum class OutputWay {
  Refused,            // OUTPUT cannot be written; error() tells why
  ThroughDescriptor,  // a descriptor the process has open on it (/dev/stdout,
                      // or the file of a shell's >>): written there as it comes
  AsStream,           // a device or a pipe: written as the text comes
  ByRename,           // a scratch file beside it takes its place once complete
                      // (or its name, where it had none)
  InPlace,            // completed in a nameless scratch file, then copied over it
};

// The way for a regular file that exists: by rename only where the new
// file keeps everything that writing into the old one keeps (its other
// names, its place on a mount, owner, group, access list, extended
// attributes, flags, and a folder that lets the name be replaced);
// otherwise in place.
OutputWay way_for_existing_file(const ReplacementFacts& facts);

// How writing `size` bytes over an existing file makes sure of its room
// before the first byte changes.
enum class RoomWay {
  Reserve,    // reserve what the file lacks; the reservation holds
  Enough,     // the file has it, or its file system has it free
  TooLittle,  // it has not: the run fails with the file as it was
};
RoomWay way_to_make_room(const RoomFacts& facts, std::uint64_t size);

// The output of one run: where OUTPUT leads, how it is written, and what
// that needs. The way is decided when this is made, from what OUTPUT and
// its folder are, before anything is written; nothing of OUTPUT changes
// until install(). For as long as this lives, a signal that ends the run
// removes the scratch file while one exists, and during the copy of
// install() empties OUTPUT rather than leave it cut.
class OutputFile {
 public:
  // `closed` tells which standard descriptors were closed at the start:
  // an OUTPUT that names one of them is refused (EBADF).
  OutputFile(const char* path, const ClosedAtStart& closed);
  // Removes a scratch file that was not put in place.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  OutputWay way() const { return way_; }
  // The system's reason where the way is Refused.
  int error() const { return error_; }

  // Whether OUTPUT is the file open on `source` (see same_file).
  bool is_file_of(int source) const;

  // The first up to `size` bytes of the regular file that OUTPUT replaces,
  // in `bytes`; returns how many (0 for a new, empty or unreadable file).
  std::size_t existing_start(char* bytes, std::size_t size) const;

  struct Opening {
    int descriptor = -1;          // the caller's to close; -1 on failure
    int error = 0;                // then the system's reason
    bool scratch_failed = false;  // the failure was making the scratch file
    bool into_scratch = false;    // the descriptor is on a new scratch file
    // The scratch file is in nameless_scratch_folder(), not beside OUTPUT:
    // a failure to make or write it is that folder's.
    bool scratch_elsewhere = false;

    // The sink that writes the include file to the descriptor, and takes it
    // over. REQUIRES: descriptor is not -1.
    std::unique_ptr<OutputSink> sink() const;
  };
  // Opens what the way needs and returns the descriptor to write the
  // include file to. REQUIRES: way() is not Refused.
  Opening open();

  enum class Step { None, Replace, Write, Close };
  struct Installing {
    int error = 0;
    Step failed = Step::None;  // what failed, where something did
  };
  // Puts the complete include file where OUTPUT names it. On failure OUTPUT
  // is as it was, except where the copy over it failed part way: it is
  // then empty. REQUIRES: everything was written to open()'s descriptor and
  // it was closed without error.
  Installing install();

 private:
  // Installs the signal handlers of the cleanup slot (signal_cleanup.h)
  // while it lives.
  class SignalCleanup {
   public:
    SignalCleanup();
    ~SignalCleanup();
    SignalCleanup(const SignalCleanup&) = delete;
    SignalCleanup& operator=(const SignalCleanup&) = delete;
  };

  void decide_for(const FileFacts& facts, const ClosedAtStart& closed);
  void take_descriptor(int descriptor, const ClosedAtStart& closed);
  // The text goes straight to a copy of `descriptor`, a descriptor this
  // process has open for writing on OUTPUT's file.
  void write_through_copy_of(int descriptor);
  Opening open_scratch_beside();
  // Gives the nameless scratch file a scratch name beside OUTPUT, for the
  // rename; returns 0 or the system's reason.
  int name_scratch();
  // Gives the nameless scratch file OUTPUT's name, where none was.
  Installing link_as_output();
  Installing copy_over();
  // Makes sure the file written over has room for `size` bytes (see
  // way_to_make_room); returns 0 or the reason it has not. Where it
  // reserved room, a signal gives it back until the copy's cleanup is set.
  int make_room(std::uint64_t size);

  // The first member: the handlers are in place before any scratch file
  // exists, and go only after the destructor has removed it.
  SignalCleanup signal_cleanup_;
  OutputWay way_ = OutputWay::Refused;
  int error_ = 0;
  FileFacts facts_;        // of the file OUTPUT leads to (Missing if none yet)
  std::string full_path_;  // its path as the system gives it
  std::unique_ptr<FilePlace> place_;
  int descriptor_ = -1;               // the file written through or over, where one is open
  int scratch_ = -1;                  // the scratch file, where one was made
  std::string scratch_name_;          // a scratch file beside OUTPUT, until it is put in place
  bool scratch_nameless_ = false;     // the scratch file beside OUTPUT has no name yet
  bool named_once_complete_ = false;  // a new OUTPUT in a folder that lets no name go
};

}  // namespace quarlex
