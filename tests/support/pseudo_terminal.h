#pragma once

#include <string>

namespace quarlex::support {

// A pseudo-terminal for one test: the controlling end stays with the test
// (closed on exec, so that a child never holds it open), the other end is
// opened by name(). Closed when this goes, unless hung up before.
// why_not() says why none could be opened, empty once one is.
class PseudoTerminal {
 public:
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  const std::string& why_not() const { return why_not_; }
  // The controlling end: what it is written reaches the other end's
  // readers, and what the other end is written can be read here.
  int controlling() const { return controlling_; }
  // The other end's name, for open() or as a path on a command line.
  const std::string& name() const { return name_; }

  // Opens the other end (O_NOCTTY and O_CLOEXEC added to `flags`); -1 on
  // failure.
  int open_other_end(int flags) const;
  // Puts the other end in raw mode: bytes pass unchanged and unechoed, in
  // any amount. False if the mode could not be set.
  bool make_raw() const;
  // Closes the controlling end: the other end's readers get an error once
  // they have read what was sent.
  void hang_up();

 private:
  int controlling_ = -1;
  std::string name_;
  std::string why_not_;
};

}  // namespace quarlex::support
