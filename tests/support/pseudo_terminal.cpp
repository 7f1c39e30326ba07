#include "pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace quarlex::support {

PseudoTerminal::PseudoTerminal() {
  controlling_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (controlling_ == -1) {
    why_not_ = "posix_openpt failed";
    return;
  }
  const char* name = nullptr;
  if (::grantpt(controlling_) != 0 || ::unlockpt(controlling_) != 0 ||
      (name = ::ptsname(controlling_)) == nullptr) {
    why_not_ = "the other end of a pseudo-terminal could not be unlocked";
    return;
  }
  name_ = name;
}

PseudoTerminal::~PseudoTerminal() { hang_up(); }

int PseudoTerminal::open_other_end(int flags) const {
  return name_.empty() ? -1 : ::open(name_.c_str(), flags | O_NOCTTY | O_CLOEXEC);
}

bool PseudoTerminal::make_raw() const {
  const int other_end = open_other_end(O_RDWR);
  if (other_end == -1) return false;
  termios settings{};
  bool made = ::tcgetattr(other_end, &settings) == 0;
  if (made) {
    ::cfmakeraw(&settings);
    made = ::tcsetattr(other_end, TCSANOW, &settings) == 0;
  }
  ::close(other_end);
  return made;
}

void PseudoTerminal::hang_up() {
  if (controlling_ != -1) ::close(controlling_);
  controlling_ = -1;
}

}  // namespace quarlex::support
