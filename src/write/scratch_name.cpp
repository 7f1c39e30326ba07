#include "write/scratch_name.h"

#include <string_view>

namespace quarlex {
namespace {

constexpr std::string_view HIDDEN_PREFIX = ".";
constexpr std::string_view MARK = ".quarlex-";
constexpr std::size_t SALT_CHARS = 8;
// Lower case and digits only: the name must not differ by case alone from
// another attempt's on file systems that ignore case.
constexpr std::string_view SALT_ALPHABET = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr std::size_t KEPT_NAME_BYTES =
    SCRATCH_NAME_LIMIT - HIDDEN_PREFIX.size() - MARK.size() - SALT_CHARS;

constexpr bool continues_utf8_character(char c) {
  return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u;
}

}  // namespace

std::string scratch_name(std::string_view final_name, std::uint64_t salt) {
  std::size_t kept = std::min(final_name.size(), KEPT_NAME_BYTES);
  while (kept > 0 && kept < final_name.size() && continues_utf8_character(final_name[kept])) --kept;
  std::string name(HIDDEN_PREFIX);
  name += final_name.substr(0, kept);
  name += MARK;
  for (std::size_t i = 0; i < SALT_CHARS; ++i) {
    name += SALT_ALPHABET[salt % SALT_ALPHABET.size()];
    salt /= SALT_ALPHABET.size();
  }
  return name;
}

}  // namespace quarlex
