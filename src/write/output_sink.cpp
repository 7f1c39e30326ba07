#include "write/output_sink.h"

#include "platform/file_facts.h"
#include "platform/file_place.h"

namespace quarlex {
namespace {

class DescriptorSink final : public OutputSink {
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

 private:
  int descriptor_;
  bool into_file_;
};

}  // namespace

std::unique_ptr<OutputSink> descriptor_sink(int descriptor) {
  return std::make_unique<DescriptorSink>(descriptor);
}

}  // namespace quarlex
