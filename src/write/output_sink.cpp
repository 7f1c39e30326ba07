#include "write/output_sink.h"

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

// How far ahead of the written end the room is reserved, in one request:
// few enough requests that they cost nothing to speak of, little enough
// that the room left over for a moment is small beside the file.
constexpr std::uint64_t RESERVE_AHEAD_BYTES = 32 * 1024 * 1024;

class ScratchFileSink final : public DescriptorSink {
 public:
  using DescriptorSink::DescriptorSink;

  int write(const char* text, std::size_t size) override {
    if (reserving_ && written_ + size > reserved_) reserve(written_ + size + RESERVE_AHEAD_BYTES);
    const int error = DescriptorSink::write(text, size);
    if (error == 0) written_ += size;
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
    // whole request, or the file system reserves nothing ahead, reserving
    // stops and the writes themselves find out whether the text fits.
    if (reserve_room_ahead(descriptor(), room) == 0)
      reserved_ = room;
    else
      reserving_ = false;
  }

  std::uint64_t written_ = 0;
  std::uint64_t reserved_ = 0;
  bool reserving_ = true;
};

}  // namespace

std::unique_ptr<OutputSink> descriptor_sink(int descriptor) {
  return std::make_unique<DescriptorSink>(descriptor);
}

std::unique_ptr<OutputSink> scratch_file_sink(int descriptor) {
  return std::make_unique<ScratchFileSink>(descriptor);
}

}  // namespace quarlex
