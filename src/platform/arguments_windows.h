#pragma once

#include <string>
#include <vector>

namespace quarlex {

// The command-line arguments, which Windows hands over in UTF-16, in UTF-8:
// the same bytes a Linux build gets for the same names, and every name
// whole, where the code page of the narrow arguments would give a
// look-alike ("ā.h" as "a.h") or "?" for what it lacks.
class Utf8Arguments {
 public:
  Utf8Arguments(int count, const wchar_t* const* arguments);
  Utf8Arguments(const Utf8Arguments&) = delete;
  Utf8Arguments& operator=(const Utf8Arguments&) = delete;

  int count() const { return static_cast<int>(texts_.size()); }
  // As argv: count() texts, then a null pointer.
  const char* const* values() const { return values_.data(); }

 private:
  std::vector<std::string> texts_;
  std::vector<const char*> values_;
};

}  // namespace quarlex
