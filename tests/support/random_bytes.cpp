#include "random_bytes.h"

#include <random>

namespace quarlex::support {

std::string random_bytes(std::size_t size, std::uint32_t seed) {
  constexpr std::uint32_t LOW_BYTE = 0xFFu;
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random() & LOW_BYTE);
  return bytes;
}

}  // namespace quarlex::support
