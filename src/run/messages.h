#pragma once

namespace quarlex {

// The texts the program prints on standard output. A failed read or write
// has none: its output file may be standard output itself.
enum class Message { Usage, SourceUnopenable, OutputUnopenable, SameFile };

// Prints `message` on standard output, followed by a line end.
void print_message(Message message);

}  // namespace quarlex
