#pragma once

#include <string_view>

namespace quarlex {

// Every line this program writes ends in CR LF, whatever the platform, so
// that an include file is the same bytes wherever it was made.
inline constexpr std::string_view LINE_END = "\r\n";

}  // namespace quarlex
