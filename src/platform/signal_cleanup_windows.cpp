#include <windows.h>

#include <array>
#include <csignal>

#include "platform/cleanup_slot.h"
#include "platform/file_place_windows.h"
#include "platform/signal_cleanup.h"

namespace quarlex {
namespace {

// Ctrl+C and a termination request: the signals a Windows program gets.
constexpr std::array<int, 2> ENDING_SIGNALS{SIGINT, SIGTERM};

// The handlers this process had before, to put back.
std::array<void (*)(int), ENDING_SIGNALS.size()> previous{};

extern "C" void clean_up_and_end(int signal_number) {
  clean_up_now();
  for (std::size_t i = 0; i < ENDING_SIGNALS.size(); ++i)
    if (ENDING_SIGNALS[i] == signal_number) std::signal(signal_number, previous[i]);
  std::raise(signal_number);
}

}  // namespace

void install_signal_cleanup() {
  for (std::size_t i = 0; i < ENDING_SIGNALS.size(); ++i) {
    previous[i] = std::signal(ENDING_SIGNALS[i], clean_up_and_end);
    // A signal ignored at the start stays ignored.
    if (previous[i] == SIG_IGN) std::signal(ENDING_SIGNALS[i], SIG_IGN);
  }
}

void remove_signal_cleanup() noexcept {
  clean_up_nothing();
  for (std::size_t i = 0; i < ENDING_SIGNALS.size(); ++i)
    std::signal(ENDING_SIGNALS[i], previous[i]);
}

// No folder is held open here: the whole path names the file. The scratch
// file was opened with FILE_SHARE_DELETE, so its deletion takes effect as
// the process ends.
RemovalTarget removal_target(const FilePlace& place, const std::string& scratch) {
  return {-1, place.state().folder + scratch};
}

void remove_now(int, const char* name) noexcept { ::DeleteFileA(name); }

// Windows runs a signal's handler in a thread of its own and offers no way
// to hold one back; the slot's action is set last, so that a handler never
// sees a path half written.
SignalsHeldBack::SignalsHeldBack() noexcept = default;
SignalsHeldBack::~SignalsHeldBack() = default;

}  // namespace quarlex
