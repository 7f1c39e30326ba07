#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quarlex::support {

// `size` bytes drawn from a Mersenne twister (std::mt19937) seeded with
// `seed`, each the low byte of one draw: the same bytes for the same seed
// with any standard library, since the standard fixes the generator.
std::string random_bytes(std::size_t size, std::uint32_t seed);

}  // namespace quarlex::support
