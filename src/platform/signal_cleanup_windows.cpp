#include "platform/signal_cleanup_windows.h"

#include <windows.h>

#include <atomic>

#include "platform/cleanup_slot.h"
#include "platform/file_place_windows.h"
#include "platform/signal_cleanup.h"

namespace quarlex {
namespace {

// Windows tells a console program of Ctrl+C, Ctrl+Break, its console
// closing, logoff and shutdown by running the handler on a thread of its
// own while the run goes on. The lock is what the run holds while it
// changes the cleanup slot or writes over OUTPUT; the handler takes it
// for good. With the slot, the only global state the tool has.
struct ConsoleEvents {
  SRWLOCK lock = SRWLOCK_INIT;
  int holds = 0;  // nesting of SignalsHeldBack, on the run's one thread
  std::atomic<bool> ending{false};
};
ConsoleEvents events;

// Never gives the lock back: no step of the run starts after it. The
// process then ends as Windows ends a console program on these events,
// with the status it gives them; a Ctrl+C that was ignored at the start
// never reaches this.
BOOL WINAPI clean_up_and_end(DWORD) {
  events.ending = true;
  ::AcquireSRWLockExclusive(&events.lock);
  clean_up_now();
  ::TerminateProcess(::GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return TRUE;
}

}  // namespace

bool ending_requested() noexcept { return events.ending; }

void install_signal_cleanup() { ::SetConsoleCtrlHandler(clean_up_and_end, TRUE); }

void remove_signal_cleanup() noexcept {
  const SignalsHeldBack held;
  clean_up_nothing();
  ::SetConsoleCtrlHandler(clean_up_and_end, FALSE);
}

// Nothing is left for the handler to remove: a scratch file beside OUTPUT
// is marked for deletion from its creation until it is put in place, and
// the system deletes it as the process ends.
RemovalTarget removal_target(const FilePlace&, const std::string&) { return {-1, {}}; }
void remove_now(int, const char*) noexcept {}

SignalsHeldBack::SignalsHeldBack() noexcept {
  if (events.holds++ == 0) ::AcquireSRWLockExclusive(&events.lock);
}

SignalsHeldBack::~SignalsHeldBack() {
  if (--events.holds == 0) ::ReleaseSRWLockExclusive(&events.lock);
}

}  // namespace quarlex
