#include "write/file_identity.h"

#include <cstddef>

namespace quarlex {
namespace {

constexpr char lower_ascii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equal_ignoring_case(const std::string& first, const std::string& second) {
  if (first.size() != second.size()) return false;
  for (std::size_t i = 0; i < first.size(); ++i)
    if (lower_ascii(first[i]) != lower_ascii(second[i])) return false;
  return true;
}

}  // namespace

bool same_file(const FileFacts& first, const std::string& first_path, const FileFacts& second,
               const std::string& second_path, bool names_fold_case) {
  if (first.kind == FileKind::Missing || second.kind == FileKind::Missing) return false;
  if (first.identity == second.identity) return true;
  return names_fold_case && first.identity.device == second.identity.device &&
         first.size == second.size && first.modified == second.modified &&
         first.changed == second.changed && !first_path.empty() &&
         equal_ignoring_case(first_path, second_path);
}

int standard_descriptor_on(const FileFacts& facts, const ClosedAtStart& closed) {
  for (int standard = 0; standard < STANDARD_DESCRIPTORS; ++standard) {
    if (closed.closed[static_cast<std::size_t>(standard)] || !descriptor_writable(standard))
      continue;
    const FileFacts open_file = descriptor_facts(standard);
    if (open_file.kind != FileKind::Missing && open_file.identity == facts.identity)
      return standard;
  }
  return -1;
}

}  // namespace quarlex
