#include <io.h>
#include <windows.h>

#include <array>
#include <csignal>
#include <cstdint>
#include <cstring>

#include "platform/file_place_windows.h"
#include "platform/signal_cleanup.h"

namespace quarlex {
namespace {

enum CleanupAction : int { NOTHING, REMOVE_SCRATCH, GIVE_BACK_ROOM, EMPTY_OUTPUT };

// Ctrl+C and a termination request: the signals a Windows program gets.
constexpr std::array<int, 2> ENDING_SIGNALS{SIGINT, SIGTERM};

// The one cleanup slot, the only global state the tool has; the handlers
// are its only readers. The scratch file was opened with FILE_SHARE_DELETE,
// so its deletion takes effect as the process ends.
struct CleanupSlot {
  volatile std::sig_atomic_t action = NOTHING;
  std::array<char, MAX_PATH * 2> path{};
  int descriptor = -1;
  std::uint64_t length = 0;
  std::int64_t modified = 0;
  std::array<void (*)(int), ENDING_SIGNALS.size()> previous{};
};
CleanupSlot slot;

extern "C" void clean_up_and_end(int signal_number) {
  if (slot.action == REMOVE_SCRATCH) ::DeleteFileA(slot.path.data());
  if (slot.action == GIVE_BACK_ROOM) give_back_room(slot.descriptor, slot.length, slot.modified);
  if (slot.action == EMPTY_OUTPUT) ::_chsize_s(slot.descriptor, 0);
  slot.action = NOTHING;
  for (std::size_t i = 0; i < ENDING_SIGNALS.size(); ++i)
    if (ENDING_SIGNALS[i] == signal_number) std::signal(signal_number, slot.previous[i]);
  std::raise(signal_number);
}

}  // namespace

void install_signal_cleanup() {
  for (std::size_t i = 0; i < ENDING_SIGNALS.size(); ++i) {
    slot.previous[i] = std::signal(ENDING_SIGNALS[i], clean_up_and_end);
    // A signal ignored at the start stays ignored.
    if (slot.previous[i] == SIG_IGN) std::signal(ENDING_SIGNALS[i], SIG_IGN);
  }
}

void remove_signal_cleanup() noexcept {
  slot.action = NOTHING;
  for (std::size_t i = 0; i < ENDING_SIGNALS.size(); ++i)
    std::signal(ENDING_SIGNALS[i], slot.previous[i]);
}

void clean_up_by_removing(const FilePlace& place, const std::string& scratch) {
  const std::string path = place.state().folder + scratch;
  if (path.size() >= slot.path.size()) return;
  std::memcpy(slot.path.data(), path.c_str(), path.size() + 1);
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

// Windows runs a signal's handler in a thread of its own and offers no way
// to hold one back; the slot's action is set last, so that a handler never
// sees a path half written.
SignalsHeldBack::SignalsHeldBack() noexcept = default;
SignalsHeldBack::~SignalsHeldBack() = default;

}  // namespace quarlex
