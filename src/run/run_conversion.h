#pragma once

namespace quarlex {

// Performs one conversion for the command line `argv` (program name, source
// path, output path, optional label; further arguments are ignored), prints
// what has to be printed, and returns the process exit status: 0 after a
// complete conversion, 1 after any failure.
int run_conversion(int argc, const char* const* argv);

}  // namespace quarlex
