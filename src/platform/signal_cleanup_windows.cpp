#include "platform/signal_cleanup_windows.h"

#include <io.h>
#include <windows.h>

#include <atomic>

#include "platform/file_place_windows.h"
#include "platform/signal_cleanup.h"

namespace quarlex {
namespace {

enum class CleanupAction { Nothing, EmptyOutput };

// The one cleanup slot, the only global state the tool has. Windows tells
// a console program of Ctrl+C, Ctrl+Break, its console closing, logoff
// and shutdown by running the handler on a thread of its own while the
// run goes on; the lock is what the run holds while it changes the slot or
// writes over OUTPUT, and the handler takes it for good.
struct CleanupSlot {
  SRWLOCK lock = SRWLOCK_INIT;
  int holds = 0;  // nesting of SignalsHeldBack, on the run's one thread
  std::atomic<bool> ending{false};
  CleanupAction action = CleanupAction::Nothing;
  HANDLE output = INVALID_HANDLE_VALUE;
};
CleanupSlot slot;

// Never gives the lock back: no step of the run starts after it. The
// process then ends as Windows ends a console
// program on these events, with the status it gives them; a Ctrl+C that
// was ignored at the start never reaches this.
BOOL WINAPI clean_up_and_end(DWORD) {
  slot.ending = true;
  ::AcquireSRWLockExclusive(&slot.lock);
  if (slot.action == CleanupAction::EmptyOutput) {
    FILE_END_OF_FILE_INFO end{};
    ::SetFileInformationByHandle(slot.output, FileEndOfFileInfo, &end, sizeof end);
  }
  ::TerminateProcess(::GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return TRUE;
}

}  // namespace

bool ending_requested() noexcept { return slot.ending; }

void install_signal_cleanup() { ::SetConsoleCtrlHandler(clean_up_and_end, TRUE); }

void remove_signal_cleanup() noexcept {
  const SignalsHeldBack held;
  slot.action = CleanupAction::Nothing;
  ::SetConsoleCtrlHandler(clean_up_and_end, FALSE);
}

// The system deletes a scratch file beside OUTPUT with the process: it is
// marked for deletion from its creation until it is put in place.
void clean_up_by_removing(const FilePlace&, const std::string&) {
  slot.action = CleanupAction::Nothing;
}

void clean_up_by_emptying(int descriptor) {
  slot.output = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
  slot.action = CleanupAction::EmptyOutput;
}

void clean_up_nothing() noexcept { slot.action = CleanupAction::Nothing; }

SignalsHeldBack::SignalsHeldBack() noexcept {
  if (slot.holds++ == 0) ::AcquireSRWLockExclusive(&slot.lock);
}

SignalsHeldBack::~SignalsHeldBack() {
  if (--slot.holds == 0) ::ReleaseSRWLockExclusive(&slot.lock);
}

}  // namespace quarlex
