// What the Windows tests need that a shell cannot do under Wine: a program
// run while another holds a file open with chosen sharing.
//
//   windows_helper SHARING FILE PROGRAM ARGUMENTS...
//
// opens FILE for reading and writing, sharing what SHARING lists (r read,
// w write, d delete; "-" nothing), runs PROGRAM with ARGUMENTS, and exits
// with its status; with 2 where it could not do so.

#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace {

constexpr int HELPER_FAILED = 2;
constexpr int FIRST_FIXED = 3;  // SHARING, FILE, PROGRAM

int fail(const char* what) {
  std::fprintf(stderr, "windows_helper: %s (error %lu)\n", what, ::GetLastError());
  return HELPER_FAILED;
}

// One argument of a command line, quoted so that the C library splits it
// back into the same text.
void append_quoted(std::wstring& line, std::wstring_view argument) {
  line += L'"';
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

DWORD sharing_of(std::wstring_view letters) {
  DWORD share = 0;
  for (wchar_t c : letters) {
    if (c == L'r') share |= FILE_SHARE_READ;
    if (c == L'w') share |= FILE_SHARE_WRITE;
    if (c == L'd') share |= FILE_SHARE_DELETE;
  }
  return share;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc <= FIRST_FIXED) {
    std::fprintf(stderr, "use: windows_helper SHARING FILE PROGRAM ARGUMENTS...\n");
    return HELPER_FAILED;
  }
  const HANDLE file = ::CreateFileW(argv[2], GENERIC_READ | GENERIC_WRITE, sharing_of(argv[1]),
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return fail("cannot open the file to hold");
  std::wstring line;
  for (int i = FIRST_FIXED; i < argc; ++i) {
    if (!line.empty()) line += L' ';
    append_quoted(line, argv[i]);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
    return fail("cannot start the program");
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = HELPER_FAILED;
  ::GetExitCodeProcess(process.hProcess, &status);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  ::CloseHandle(file);
  return static_cast<int>(status);
}
