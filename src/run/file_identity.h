#pragma once

namespace quarlex {

// True if `path` names a directory (following symbolic links).
bool is_directory(const char* path);

// True if both paths lead to one file: the same path, another spelling of
// it, a hard link, or a symbolic link in either direction. False when
// either does not exist.
bool same_file(const char* first, const char* second);

}  // namespace quarlex
