#pragma once

#include <cstdint>
#include <string>

#include "platform/file_place.h"

namespace quarlex {

// What a signal that ends the run must still do so that it leaves nothing
// behind: remove the scratch file that is being written, give back the
// room reserved in an output, or empty the output that is being copied
// over, so that it is never left cut. The
// handler knows it from the one cleanup slot, which these calls set. The
// slot and its rules are alike on every system (signal_cleanup.cpp); each
// system's file holds its handlers and the calls that clean up.

// Installs the handler for every signal that would end the process and is
// neither ignored nor handled already (a signal ignored at the start stays
// ignored), with nothing to clean up yet. Afterwards each such signal
// does its cleanup and then ends the process as it would have.
void install_signal_cleanup();
// Puts back what each signal did before.
void remove_signal_cleanup() noexcept;

// What the handler does from now on. REQUIRES: signals are held back
// (SignalsHeldBack) while the slot changes, so that none sees it half set.
void clean_up_by_removing(const FilePlace& place, const std::string& scratch);
void clean_up_by_emptying(int descriptor);
// See give_back_room().
void clean_up_by_giving_back(int descriptor, std::uint64_t length, std::int64_t modified);
void clean_up_nothing() noexcept;

// Holds back the signals that have a cleanup while it lives, in this
// thread: one that comes meanwhile arrives when it goes.
class SignalsHeldBack {
 public:
  SignalsHeldBack() noexcept;
  ~SignalsHeldBack();
  SignalsHeldBack(const SignalsHeldBack&) = delete;
  SignalsHeldBack& operator=(const SignalsHeldBack&) = delete;
};

}  // namespace quarlex
