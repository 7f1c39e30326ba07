#pragma once

#include <cstddef>
#include <memory>

namespace quarlex {

// Where an output stream's bytes go, with nothing buffered on the way: a
// write either takes every byte or reports why not, so that no failure can
// be hidden by a retry that writes something else (as a C library stream
// does when a write fails and the next one succeeds).
class OutputSink {
 public:
  virtual ~OutputSink() = default;

  // Writes all `size` bytes of `text`. Returns 0 or the system's reason.
  // May be called from a thread other than the one that made the sink.
  virtual int write(const char* text, std::size_t size) = 0;

  // Whether the bytes go into a file on a file system, rather than a
  // device or a pipe.
  virtual bool into_file() const = 0;

  // Closes what the bytes go to. Returns 0 or the system's reason.
  virtual int close() = 0;
};

// A sink that writes to `descriptor` and takes it over: closed by close(),
// or when the sink goes.
std::unique_ptr<OutputSink> descriptor_sink(int descriptor);

// A descriptor sink for an empty scratch file that only this run writes,
// from its start. Where the file system gains by it, it reserves the
// file's room on the disk some way ahead of what has been written and
// gives back what is left over when it closes: writing into reserved room
// costs the kernel less than making room page by page as it goes
// (docs/performance.md).
std::unique_ptr<OutputSink> scratch_file_sink(int descriptor);

}  // namespace quarlex
