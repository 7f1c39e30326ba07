#include "platform/signal_cleanup.h"

#include <array>
#include <csignal>
#include <cstdint>
#include <cstring>

#include "platform/cleanup_slot.h"

namespace quarlex {
namespace {

enum CleanupAction : int { NOTHING, REMOVE_SCRATCH, GIVE_BACK_ROOM, EMPTY_OUTPUT };

// Room for a scratch file's name, or its whole path where the system
// needs that; one longer is not recorded, and then outlives a signal.
constexpr std::size_t REMOVAL_NAME_BYTES = 4096;

// The one cleanup slot. A handler may call only async-signal-safe
// functions, so what it needs sits in fixed storage: the action, the
// scratch file's folder and name, or the output's descriptor. One run
// writes one output, so one slot is enough; with each system's record of
// the handlers it replaced, it is the only global state the tool has, and
// the handlers are its only readers. The action is set last, so that a
// handler never sees a name half written, even where it runs in a thread
// of its own (Windows).
struct CleanupSlot {
  volatile std::sig_atomic_t action = NOTHING;
  int folder = -1;
  std::array<char, REMOVAL_NAME_BYTES> name{};
  int descriptor = -1;
  std::uint64_t length = 0;   // what the output keeps, giving back room
  std::int64_t modified = 0;  // and its modification time
};
CleanupSlot slot;

}  // namespace

void clean_up_by_removing(const FilePlace& place, const std::string& scratch) {
  const RemovalTarget target = removal_target(place, scratch);
  if (target.name.size() >= slot.name.size()) return;
  slot.folder = target.folder;
  std::memcpy(slot.name.data(), target.name.c_str(), target.name.size() + 1);
  slot.action = REMOVE_SCRATCH;
}

void clean_up_by_emptying(int descriptor) {
  slot.descriptor = descriptor;
  slot.action = EMPTY_OUTPUT;
}

void clean_up_by_giving_back(int descriptor, std::uint64_t length, std::int64_t modified) {
  slot.descriptor = descriptor;
  slot.length = length;
  slot.modified = modified;
  slot.action = GIVE_BACK_ROOM;
}

void clean_up_nothing() noexcept { slot.action = NOTHING; }

void clean_up_now() noexcept {
  if (slot.action == REMOVE_SCRATCH) remove_now(slot.folder, slot.name.data());
  if (slot.action == GIVE_BACK_ROOM) give_back_room(slot.descriptor, slot.length, slot.modified);
  if (slot.action == EMPTY_OUTPUT) empty_file(slot.descriptor);
  slot.action = NOTHING;
}

}  // namespace quarlex
