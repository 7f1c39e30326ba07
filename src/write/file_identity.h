#pragma once

#include <string>

#include "platform/file_facts.h"
#include "platform/standard_streams.h"

namespace quarlex {

// Whether `first` and `second` are one file: the same identity, or, where
// a file system gives one file a new inode number per name (FUSE, names
// that differ in case only), the same device, size and times under paths
// that differ in the case of ASCII letters only.
bool same_file(const FileFacts& first, const std::string& first_path, const FileFacts& second,
               const std::string& second_path);

// The standard descriptor, not closed at the start, that is open for
// writing on the file of `facts`, or -1 where none is.
int standard_descriptor_on(const FileFacts& facts, const ClosedAtStart& closed);

}  // namespace quarlex
