#include "write/chunk_writer.h"

namespace quarlex {
namespace {

class DirectChunkWriter final : public ChunkWriter {
 public:
  explicit DirectChunkWriter(std::FILE* file)
      : file_(file), buffer_(std::make_unique_for_overwrite<char[]>(CHUNK_BUFFER_BYTES)) {}

  char* first_buffer() override { return buffer_.get(); }

  char* write(char* chunk, std::size_t size) override {
    if (failed_ || std::fwrite(chunk, 1, size, file_) != size) failed_ = true;
    return failed_ ? nullptr : chunk;
  }

  bool finish() override { return !failed_; }

 private:
  std::FILE* file_;
  std::unique_ptr<char[]> buffer_;
  bool failed_ = false;
};

}  // namespace

std::unique_ptr<ChunkWriter> make_direct_chunk_writer(std::FILE* file) {
  return std::make_unique<DirectChunkWriter>(file);
}

}  // namespace quarlex
