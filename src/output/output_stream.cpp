#include "output/output_stream.h"

#include <algorithm>
#include <cstring>

namespace quarlex {

OutputStream::OutputStream(std::FILE* file)
    : file_(file), buffer_(std::make_unique_for_overwrite<char[]>(OUTPUT_BUFFER_BYTES)) {
  std::setvbuf(file_, nullptr, _IONBF, 0);
}

OutputStream::~OutputStream() {
  if (file_ != nullptr) close();
}

bool OutputStream::write(std::string_view text) {
  while (!text.empty()) {
    if (used_ == OUTPUT_BUFFER_BYTES && !flush()) return false;
    const std::size_t take = std::min(text.size(), OUTPUT_BUFFER_BYTES - used_);
    std::memcpy(buffer_.get() + used_, text.data(), take);
    used_ += take;
    text.remove_prefix(take);
  }
  return !failed_;
}

char* OutputStream::reserve(std::size_t size) {
  if (failed_ || (OUTPUT_BUFFER_BYTES - used_ < size && !flush())) return nullptr;
  return buffer_.get() + used_;
}

bool OutputStream::flush() {
  if (!failed_ && used_ > 0 && std::fwrite(buffer_.get(), 1, used_, file_) != used_) failed_ = true;
  used_ = 0;
  return !failed_;
}

bool OutputStream::close() {
  flush();
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

}  // namespace quarlex
