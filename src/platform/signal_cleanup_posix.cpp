#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdint>
#include <cstring>

#include "platform/file_place_posix.h"
#include "platform/signal_cleanup.h"

namespace quarlex {

namespace {

enum CleanupAction : int { NOTHING, REMOVE_SCRATCH, GIVE_BACK_ROOM, EMPTY_OUTPUT };

// Signals whose default action does not end the process, or that cannot
// be caught.
constexpr std::array<int, 9> NOT_ENDING{SIGKILL, SIGSTOP, SIGCHLD, SIGCONT, SIGTSTP,
                                        SIGTTIN, SIGTTOU, SIGURG,  SIGWINCH};

bool ends_the_process(int signal_number) {
  for (int other : NOT_ENDING)
    if (other == signal_number) return false;
  return true;
}

// The one cleanup slot. A handler may call only async-signal-safe
// functions, so what it needs sits in fixed storage: the action, the
// folder's descriptor and the scratch file's name, or the output's
// descriptor. One run writes one output, so one slot is enough; it is the
// only global state the tool has, and the handlers are its only readers.
struct CleanupSlot {
  volatile std::sig_atomic_t action = NOTHING;
  int folder = -1;
  std::array<char, NAME_MAX + 1> name{};
  int descriptor = -1;
  std::uint64_t length = 0;   // what the output keeps, giving back room
  std::int64_t modified = 0;  // and its modification time
  std::array<struct sigaction, NSIG> previous{};
  std::array<bool, NSIG> installed{};
  int holds = 0;  // nesting of SignalsHeldBack
  sigset_t before_hold{};
};
CleanupSlot slot;

extern "C" void clean_up_and_end(int signal_number) {
  if (slot.action == REMOVE_SCRATCH) ::unlinkat(slot.folder, slot.name.data(), 0);
  if (slot.action == GIVE_BACK_ROOM) give_back_room(slot.descriptor, slot.length, slot.modified);
  if (slot.action == EMPTY_OUTPUT) empty_file(slot.descriptor);
  slot.action = NOTHING;
  // Then the signal does what it did before, with the default action: it
  // ends the process, with the status a shell reports for that signal,
  // once this handler returns.
  ::sigaction(signal_number, &slot.previous[static_cast<std::size_t>(signal_number)], nullptr);
  ::raise(signal_number);
}

sigset_t ending_signals() {
  sigset_t set;
  ::sigemptyset(&set);
  for (int signal_number = 1; signal_number < NSIG; ++signal_number)
    if (ends_the_process(signal_number)) ::sigaddset(&set, signal_number);
  return set;
}

}  // namespace

void install_signal_cleanup() {
  struct sigaction action {};
  action.sa_handler = clean_up_and_end;
  ::sigemptyset(&action.sa_mask);
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    const auto at = static_cast<std::size_t>(signal_number);
    if (!ends_the_process(signal_number) ||
        ::sigaction(signal_number, nullptr, &slot.previous[at]) != 0)
      continue;
    // Ignored by whoever started us (nohup, a shell's trap ''): it stays
    // ignored. Handled already (a sanitizer's handler): it stays theirs.
    const bool by_default =
        (slot.previous[at].sa_flags & SA_SIGINFO) == 0 && slot.previous[at].sa_handler == SIG_DFL;
    slot.installed[at] = by_default && ::sigaction(signal_number, &action, nullptr) == 0;
  }
}

void remove_signal_cleanup() noexcept {
  const SignalsHeldBack held;
  slot.action = NOTHING;
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    const auto at = static_cast<std::size_t>(signal_number);
    if (slot.installed[at]) ::sigaction(signal_number, &slot.previous[at], nullptr);
    slot.installed[at] = false;
  }
}

void clean_up_by_removing(const FilePlace& place, const std::string& scratch) {
  if (scratch.size() >= slot.name.size()) return;
  slot.folder = place.state().folder;
  std::memcpy(slot.name.data(), scratch.c_str(), scratch.size() + 1);
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

SignalsHeldBack::SignalsHeldBack() noexcept {
  if (slot.holds++ > 0) return;
  const sigset_t set = ending_signals();
  ::pthread_sigmask(SIG_BLOCK, &set, &slot.before_hold);
}

SignalsHeldBack::~SignalsHeldBack() {
  if (--slot.holds > 0) return;
  ::pthread_sigmask(SIG_SETMASK, &slot.before_hold, nullptr);
}

}  // namespace quarlex
