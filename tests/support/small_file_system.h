#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace quarlex::support {

// A tmpfs of `size` (as mount's size= option takes it, "4m") mounted on a
// new folder at `mount_point`, unmounted when this goes. Mounting needs
// root, as CI runs the tests; mounted() says whether it worked.
class SmallFileSystem {
 public:
  SmallFileSystem(const std::filesystem::path& mount_point, const std::string& size);
  ~SmallFileSystem();
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;

  bool mounted() const { return mounted_; }
  std::uintmax_t free_bytes() const;
  std::uintmax_t page_bytes() const;

 private:
  std::filesystem::path mount_point_;
  bool mounted_ = false;
};

}  // namespace quarlex::support
