#include "write/chunk_writer.h"

#include <new>

namespace quarlex {
namespace {

class DirectChunkWriter final : public ChunkWriter {
 public:
  explicit DirectChunkWriter(OutputSink& sink) : sink_(sink), buffer_(new_chunk_buffer()) {}

  char* first_buffer() override { return buffer_.get(); }

  char* write(char* chunk, std::size_t size) override {
    if (error_.get() == 0) error_.keep(sink_.write(chunk, size));
    return error_.get() != 0 ? nullptr : chunk;
  }

  bool finish() override { return error_.get() == 0; }
  int error() const override { return error_.get(); }

 private:
  OutputSink& sink_;
  ChunkBuffer buffer_;
  FirstError error_;
};

}  // namespace

void ReleaseChunkBuffer::operator()(char* buffer) const {
  ::operator delete[](buffer, std::align_val_t{CHUNK_BUFFER_ALIGNMENT});
}

ChunkBuffer new_chunk_buffer(std::size_t size) {
  return ChunkBuffer(new (std::align_val_t{CHUNK_BUFFER_ALIGNMENT}) char[size]);
}

std::unique_ptr<ChunkWriter> make_direct_chunk_writer(OutputSink& sink) {
  return std::make_unique<DirectChunkWriter>(sink);
}

}  // namespace quarlex
