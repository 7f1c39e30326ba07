#pragma once

#include <cstdio>
#include <memory>

namespace quarlex {

// The file a run writes its include file into. For a regular file (or a
// name that does not exist yet) that is a scratch file beside the final
// one, which takes the final one's place in one step once it is complete:
// at every moment the final file is either the old one whole or the new one
// whole. Devices, pipes and descriptors the process already has open are
// written in place, as is a file whose folder takes no new file.
class OutputFile {
 public:
  // Removes the scratch file unless install() put it in place.
  virtual ~OutputFile() = default;

  // The stream to write the include file to, open for binary writing. The
  // caller closes it, and must have closed it before calling install().
  virtual std::FILE* stream() const = 0;

  // Whether the stream leads to a file on a file system rather than a
  // device or pipe: only there does writing in a thread of its own pay.
  virtual bool on_disk() const = 0;

  // Puts the complete file where the output path names it. Returns 0, or
  // the system's error code if it could not; the old file is then as it
  // was. REQUIRES: everything was written and the stream closed without
  // error.
  virtual int install() = 0;
};

struct OutputOpening {
  std::unique_ptr<OutputFile> file;  // empty if the output cannot be written
  int error = 0;                     // then the system's error code
};

// Opens the output named `path` (as given on the command line) for writing.
// Refuses, before anything is written or created, what could not be opened
// for writing in place: a directory, a path through a missing folder, a
// file the user may not write, even where its folder would allow a rename.
// While a scratch file exists, SIGINT, SIGTERM and SIGHUP remove it before
// they end the process (a signal ignored at the start stays ignored).
// REQUIRES: at most one OutputFile exists at a time in a process.
OutputOpening open_output_file(const char* path);

// An output written where it is: `file` is opened already and the caller
// takes it over through stream(). For the per-system openers.
std::unique_ptr<OutputFile> in_place_output(std::FILE* file, bool on_disk);

}  // namespace quarlex
