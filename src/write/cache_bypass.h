#pragma once

#include <cstddef>

namespace quarlex {

// Copies `size` bytes from `text` to `out` and returns out + size. Where the
// processor allows, whole cache lines go to memory without being fetched
// into this core's cache first: when another core has just read the buffer
// (a chunk the writer thread wrote), fetching the lines back costs the
// composing core more than composing them.
char* copy_past_cache(char* out, const char* text, std::size_t size);

// Makes every copy_past_cache() so far complete before any later store, as
// it must be before a chunk is handed to another thread.
void finish_copies_past_cache();

}  // namespace quarlex
