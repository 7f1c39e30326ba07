#pragma once

#include <cstddef>
#include <vector>

namespace quarlex::support {

// Room of a given size followed by canary bytes, so that a test sees any
// byte written past the room a function was allowed.
class CanaryBuffer {
 public:
  static constexpr char CANARY = '\x5A';
  static constexpr std::size_t CANARY_BYTES = 128;

  explicit CanaryBuffer(std::size_t room) : room_(room), bytes_(room + CANARY_BYTES, CANARY) {}

  char* data() { return bytes_.data(); }

  // The first canary byte that was overwritten, counted from the start of
  // the room; room() + CANARY_BYTES if none was.
  std::size_t first_overrun() const {
    for (std::size_t i = room_; i < bytes_.size(); ++i)
      if (bytes_[i] != CANARY) return i;
    return bytes_.size();
  }
  bool intact() const { return first_overrun() == bytes_.size(); }

 private:
  std::size_t room_;
  std::vector<char> bytes_;
};

}  // namespace quarlex::support
