#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/standard_streams.h"
#include "platform/unicode_windows.h"

namespace quarlex {

ClosedAtStart hold_standard_descriptors_open() {
  ClosedAtStart start;
  for (int descriptor = 0; descriptor < STANDARD_DESCRIPTORS; ++descriptor) {
    if (::_get_osfhandle(descriptor) != -1) continue;
    start.closed[static_cast<std::size_t>(descriptor)] = true;
    const int null_device = ::_open("NUL", _O_RDWR | _O_BINARY);
    if (null_device == -1) continue;
    if (null_device != descriptor) {
      ::_dup2(null_device, descriptor);
      ::_close(null_device);
    }
  }
  return start;
}

// Standard output starts in text mode on Windows, which would turn every
// LF of a CR LF into CR LF again.
void write_standard_output(std::string_view text) {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

namespace {

// UTF-8 converted for the console at a time, in fixed storage: a reason is
// printed when memory has run out too.
constexpr std::size_t CONSOLE_CHUNK = 4096;

// A console shows bytes in its own code page, not in the UTF-8 that names
// reach the run in; it is given the text in UTF-16 instead. Returns false
// where standard error is no console.
bool write_to_console(std::string_view text) {
  const HANDLE console = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (console == INVALID_HANDLE_VALUE || !::GetConsoleMode(console, &mode)) return false;
  std::array<wchar_t, CONSOLE_CHUNK> wide{};
  while (!text.empty()) {
    std::size_t take = text.size() < CONSOLE_CHUNK ? text.size() : CONSOLE_CHUNK;
    // Never a character cut in two between chunks (where the bytes are
    // UTF-8 at all).
    std::size_t boundary = take;
    while (boundary < text.size() && boundary > 0 && continues_a_character(text[boundary]))
      --boundary;
    if (boundary > 0) take = boundary;
    const int units = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(take),
                                            wide.data(), static_cast<int>(wide.size()));
    DWORD written = 0;
    ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(units), &written, nullptr);
    text.remove_prefix(take);
  }
  return true;
}

}  // namespace

void write_standard_error(std::string_view text) {
  std::fflush(stderr);
  if (write_to_console(text)) return;
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

// The Windows C library words some reasons its own way, and a few of them
// would send the user the wrong way: a file in use is "Resource device",
// memory run out "Not enough space". Those take the Linux wording.
const char* reason_text(int error) {
  switch (error) {
    case EBUSY:
      return "Device or resource busy";
    case ENOMEM:
      return "Cannot allocate memory";
    case EXDEV:
      return "Invalid cross-device link";
    case ENAMETOOLONG:
      return "File name too long";
    default:
      return std::strerror(error);
  }
}

bool standard_error_is_terminal() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace quarlex
