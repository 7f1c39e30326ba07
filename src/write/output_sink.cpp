#include "write/output_sink.h"

#include <algorithm>
#include <cstdint>

#include "platform/file_facts.h"
#include "platform/file_place.h"

namespace quarlex {
namespace {

class DescriptorSink : public OutputSink {
 public:
  explicit DescriptorSink(int descriptor)
      : descriptor_(descriptor),
        into_file_(descriptor_facts(descriptor).kind == FileKind::Regular) {}
  ~DescriptorSink() override {
    if (descriptor_ != -1) close_descriptor(descriptor_);
  }
  DescriptorSink(const DescriptorSink&) = delete;
  DescriptorSink& operator=(const DescriptorSink&) = delete;

  int write(const char* text, std::size_t size) override {
    return write_all(descriptor_, text, size);
  }
  bool into_file() const override { return into_file_; }
  int close() override {
    const int error = close_descriptor(descriptor_);
    descriptor_ = -1;
    return error;
  }

 protected:
  int descriptor() const { return descriptor_; }

 private:
  int descriptor_;
  bool into_file_;
};

// The most room reserved ahead of the written end: few enough requests
// for a big file that they cost nothing to speak of, little enough that the
// room left over for a moment is small beside the file. Up to it, as much
// is reserved ahead as has been written, so that a small file reserves
// little more than itself.
constexpr std::uint64_t MOST_RESERVED_AHEAD = 32 * 1024 * 1024;

class ScratchFileSink final : public DescriptorSink {
 public:
  explicit ScratchFileSink(int descriptor)
      : DescriptorSink(descriptor), reserving_(reserving_ahead_pays(descriptor)) {}

  int write(const char* text, std::size_t size) override {
    const std::uint64_t end = written_ + size;
    if (reserving_ && end > reserved_) reserve(end + std::min(end, MOST_RESERVED_AHEAD));
    const int error = DescriptorSink::write(text, size);
    if (error == 0) written_ = end;
    return error;
  }

  int close() override {
    // The room beyond the text would stay the file's: it goes back first.
    const int cut = reserved_ > written_ ? cut_file_at(descriptor(), written_) : 0;
    const int closed = DescriptorSink::close();
    return cut != 0 ? cut : closed;
  }

 private:
  void reserve(std::uint64_t room) {
    // A reservation only saves time: where the disk has no room for the
    // whole request, reserving stops and the writes themselves find out
    // whether the text fits. A failed request may still have kept some of
    // the room, which close() gives back all the same.
    if (reserve_room_ahead(descriptor(), room) != 0) reserving_ = false;
    reserved_ = room;
  }

  std::uint64_t written_ = 0;
  std::uint64_t reserved_ = 0;  // as far as room may have been reserved
  bool reserving_;
};

}  // namespace

std::unique_ptr<OutputSink> descriptor_sink(int descriptor) {
  return std::make_unique<DescriptorSink>(descriptor);
}

std::unique_ptr<OutputSink> scratch_file_sink(int descriptor) {
  return std::make_unique<ScratchFileSink>(descriptor);
}

}  // namespace quarlex
