#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quarlex::support {

// A fresh folder of its own (mkdtemp under the system's temporary folder),
// removed with everything in it when this goes: two runs of the tests on
// one machine never meet. Throws if none can be made.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// The whole file, byte for byte; throws if it cannot be read.
std::string read_file(const std::filesystem::path& path);

// The last up to `size` bytes of the file: for checking how a file of
// hundreds of megabytes ends without reading it all. Throws if it cannot
// be read.
std::string read_file_end(const std::filesystem::path& path, std::size_t size);

// Replaces the file with `bytes`; throws if it cannot be written.
void write_file(const std::filesystem::path& path, std::string_view bytes);

}  // namespace quarlex::support
