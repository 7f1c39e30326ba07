#include <io.h>

#include <cstdint>
#include <limits>

#include "platform/file_place.h"

namespace quarlex {

// NTFS writes into a file's own blocks, and a reservation there holds. A
// file system that answers that it reserves nothing is written as it
// comes: its free room is not read here.
RoomFacts room_facts(int) {
  RoomFacts facts;
  facts.reservation_holds = true;
  facts.free = std::numeric_limits<std::uint64_t>::max();
  return facts;
}

int reserve_room_beyond(int descriptor, std::uint64_t, std::uint64_t size) {
  return reserve_room_ahead(descriptor, size);
}

void give_back_room(int descriptor, std::uint64_t length, std::int64_t) noexcept {
  ::_chsize_s(descriptor, static_cast<long long>(length));
}

}  // namespace quarlex
