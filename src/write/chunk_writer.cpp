#include "write/chunk_writer.h"

namespace quarlex {
namespace {

class DirectChunkWriter final : public ChunkWriter {
 public:
  explicit DirectChunkWriter(OutputSink& sink)
      : sink_(sink), buffer_(std::make_unique_for_overwrite<char[]>(CHUNK_AND_OVERHANG_BYTES)) {}

  char* first_buffer() override { return buffer_.get(); }

  char* write(char* chunk, std::size_t size) override {
    if (error_.get() == 0) error_.keep(sink_.write(chunk, size));
    return error_.get() != 0 ? nullptr : chunk;
  }

  bool finish() override { return error_.get() == 0; }
  int error() const override { return error_.get(); }

 private:
  OutputSink& sink_;
  std::unique_ptr<char[]> buffer_;
  FirstError error_;
};

}  // namespace

std::unique_ptr<ChunkWriter> make_direct_chunk_writer(OutputSink& sink) {
  return std::make_unique<DirectChunkWriter>(sink);
}

}  // namespace quarlex
