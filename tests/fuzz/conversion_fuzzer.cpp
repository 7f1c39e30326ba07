// A whole conversion, in process: random bytes as the source, a random
// label text and one of several output names, compared with the plain
// include file.
//
// Input: byte 0 = length of the label text, byte 1 = choices (bit 0: give
// the label argument, bits 1-3: output name), then the label text, then
// the source bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "include_oracle.h"
#include "run/run_conversion.h"
#include "scratch_folder.h"

namespace {

// A folder for the run's two files, removed when the fuzzer exits.
const std::filesystem::path& scratch() {
  static const quarlex::support::ScratchFolder folder;
  return folder.path();
}

constexpr std::array<const char*, 8> OUTPUT_NAMES{"out.inc", "out.h", "out.C p", "out.java",
                                                  "out",     "out.",  "o.HPP",   "out.c++"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t label_length = std::min<std::size_t>(data[0], size - 2);
  const bool give_label = (data[1] & 1) != 0;
  const char* output_name = OUTPUT_NAMES[(data[1] >> 1) % OUTPUT_NAMES.size()];
  std::string label_text(reinterpret_cast<const char*>(data + 2), label_length);
  // An argument ends at its first zero byte, as on any command line.
  label_text = label_text.c_str();
  const std::string source(reinterpret_cast<const char*>(data + 2 + label_length),
                           size - 2 - label_length);

  const std::string source_path = (scratch() / "source.bin").string();
  const std::string output_path = (scratch() / output_name).string();
  quarlex::support::write_file(source_path, source);
  const char* argv[] = {"quarlex", source_path.c_str(), output_path.c_str(), label_text.c_str()};
  const int argc = give_label ? 4 : 3;
  if (quarlex::run_conversion(argc, argv) != 0) std::abort();

  using namespace quarlex::oracle;
  const std::string expected =
      include_file(flavour(output_path), source_path,
                   label(give_label ? std::string_view(label_text) : source_path), source);
  if (mask_date_line(quarlex::support::read_file(output_path)) != expected) std::abort();
  std::filesystem::remove(output_path);
  return 0;
}
