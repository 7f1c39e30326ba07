#pragma once

#include <string>

#include "platform/file_facts.h"
#include "platform/standard_streams.h"

namespace quarlex {

// Whether `first` and `second` are one file: the same identity, or, where
// the file system takes names that differ in case only for one name
// (`names_fold_case`) and gives one file a new inode number per name
// (FAT through FUSE), the same device, size and times under paths that
// differ in the case of ASCII letters only.
bool same_file(const FileFacts& first, const std::string& first_path, const FileFacts& second,
               const std::string& second_path, bool names_fold_case);

// The standard descriptor, not closed at the start, that is open for
// writing on the file of `facts`, or -1 where none is.
int standard_descriptor_on(const FileFacts& facts, const ClosedAtStart& closed);

}  // namespace quarlex
