#include "run/file_identity.h"

#include <filesystem>
#include <system_error>

namespace quarlex {

bool is_directory(const char* path) {
  std::error_code error;
  return std::filesystem::is_directory(std::filesystem::path(path), error);
}

bool same_file(const char* first, const char* second) {
  std::error_code error;
  return std::filesystem::equivalent(std::filesystem::path(first), std::filesystem::path(second),
                                     error) &&
         !error;
}

}  // namespace quarlex
