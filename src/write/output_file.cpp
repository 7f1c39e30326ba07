#include "write/output_file.h"

namespace quarlex {
namespace {

class InPlaceOutput final : public OutputFile {
 public:
  InPlaceOutput(std::FILE* file, bool on_disk) : file_(file), on_disk_(on_disk) {}

  std::FILE* stream() const override { return file_; }
  bool on_disk() const override { return on_disk_; }
  // Every byte went where it belongs as it was written.
  int install() override { return 0; }

 private:
  std::FILE* file_;
  bool on_disk_;
};

}  // namespace

std::unique_ptr<OutputFile> in_place_output(std::FILE* file, bool on_disk) {
  return std::make_unique<InPlaceOutput>(file, on_disk);
}

}  // namespace quarlex
