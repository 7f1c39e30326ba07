// extension_code and the flavour choice against plain versions, on any path.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "include_oracle.h"
#include "run/label_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view path(reinterpret_cast<const char*>(data), size);
  if (quarlex::extension_code(path) != quarlex::oracle::extension_code(path)) std::abort();
  const bool c_source = quarlex::choose_flavour(path) == quarlex::OutputFlavour::CSource;
  if (c_source != (quarlex::oracle::flavour(path) == quarlex::oracle::Flavour::CSource))
    std::abort();
  return 0;
}
