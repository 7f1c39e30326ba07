#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quarlex {

// The longest name a scratch file gets, within the 255 bytes that common
// file systems allow for one name.
inline constexpr std::size_t SCRATCH_NAME_LIMIT = 100;

// The name of a scratch file beside the file named `final_name` (a name
// without its folder): hidden by a leading dot, recognisable by the start of
// the final name and "quarlex", and made different from other attempts by
// `salt`, for example ".logo.h.quarlex-3k9x2b7q". The start of a long name
// is cut at a character boundary of UTF-8, so that the name stays valid
// text. Always at most SCRATCH_NAME_LIMIT bytes.
std::string scratch_name(std::string_view final_name, std::uint64_t salt);

}  // namespace quarlex
