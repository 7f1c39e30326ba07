#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <array>
#include <csignal>

#include "platform/cleanup_slot.h"
#include "platform/file_place_posix.h"
#include "platform/signal_cleanup.h"

namespace quarlex {

namespace {

// Signals whose default action does not end the process, or that cannot
// be caught.
constexpr std::array<int, 9> NOT_ENDING{SIGKILL, SIGSTOP, SIGCHLD, SIGCONT, SIGTSTP,
                                        SIGTTIN, SIGTTOU, SIGURG,  SIGWINCH};

bool ends_the_process(int signal_number) {
  for (int other : NOT_ENDING)
    if (other == signal_number) return false;
  return true;
}

// The handlers this process had before, to put back. A handler may call
// only async-signal-safe functions, so they sit in fixed storage.
struct Handlers {
  std::array<struct sigaction, NSIG> previous{};
  std::array<bool, NSIG> installed{};
  int holds = 0;  // nesting of SignalsHeldBack
  sigset_t before_hold{};
};
Handlers handlers;

extern "C" void clean_up_and_end(int signal_number) {
  clean_up_now();
  // Then the signal does what it did before, with the default action: it
  // ends the process, with the status a shell reports for that signal,
  // once this handler returns.
  ::sigaction(signal_number, &handlers.previous[static_cast<std::size_t>(signal_number)], nullptr);
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
        ::sigaction(signal_number, nullptr, &handlers.previous[at]) != 0)
      continue;
    // Ignored by whoever started us (nohup, a shell's trap ''): it stays
    // ignored. Handled already (a sanitizer's handler): it stays theirs.
    const bool by_default = (handlers.previous[at].sa_flags & SA_SIGINFO) == 0 &&
                            handlers.previous[at].sa_handler == SIG_DFL;
    handlers.installed[at] = by_default && ::sigaction(signal_number, &action, nullptr) == 0;
  }
}

void remove_signal_cleanup() noexcept {
  const SignalsHeldBack held;
  clean_up_nothing();
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    const auto at = static_cast<std::size_t>(signal_number);
    if (handlers.installed[at]) ::sigaction(signal_number, &handlers.previous[at], nullptr);
    handlers.installed[at] = false;
  }
}

RemovalTarget removal_target(const FilePlace& place, const std::string& scratch) {
  return {place.state().folder, scratch};
}

void remove_now(int folder, const char* name) noexcept { ::unlinkat(folder, name, 0); }

SignalsHeldBack::SignalsHeldBack() noexcept {
  if (handlers.holds++ > 0) return;
  const sigset_t set = ending_signals();
  ::pthread_sigmask(SIG_BLOCK, &set, &handlers.before_hold);
}

SignalsHeldBack::~SignalsHeldBack() {
  if (--handlers.holds > 0) return;
  ::pthread_sigmask(SIG_SETMASK, &handlers.before_hold, nullptr);
}

}  // namespace quarlex
