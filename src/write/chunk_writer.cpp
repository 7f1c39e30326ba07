#include "write/chunk_writer.h"

#include <cerrno>

namespace quarlex {
namespace {

class DirectChunkWriter final : public ChunkWriter {
 public:
  explicit DirectChunkWriter(std::FILE* file)
      : file_(file), buffer_(std::make_unique_for_overwrite<char[]>(CHUNK_BUFFER_BYTES)) {}

  char* first_buffer() override { return buffer_.get(); }

  char* write(char* chunk, std::size_t size) override {
    if (error_ == 0) error_ = write_whole(file_, chunk, size);
    return error_ != 0 ? nullptr : chunk;
  }

  bool finish() override { return error_ == 0; }
  int error() const override { return error_; }

 private:
  std::FILE* file_;
  std::unique_ptr<char[]> buffer_;
  int error_ = 0;
};

}  // namespace

int write_whole(std::FILE* file, const char* text, std::size_t size) {
  errno = 0;
  if (std::fwrite(text, 1, size, file) == size) return 0;
  return errno != 0 ? errno : EIO;
}

std::unique_ptr<ChunkWriter> make_direct_chunk_writer(std::FILE* file) {
  return std::make_unique<DirectChunkWriter>(file);
}

}  // namespace quarlex
