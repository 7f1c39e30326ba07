// derive_label against the plain label rule, on any text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "include_oracle.h"
#include "run/label_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (quarlex::derive_label(text) != quarlex::oracle::label(text)) std::abort();
  return 0;
}
