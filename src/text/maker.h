#pragma once

#include <string_view>

namespace quarlex {

// Who makes QUARLEX, as every header's notice and the usage text give it.
inline constexpr std::string_view MAKER_RIGHTS = "QUARLEX (C) 2026 The Quarlex Developers";
inline constexpr std::string_view MAKER_STREET = "Quarlex Developers, 12 Harbour Row";
inline constexpr std::string_view MAKER_TOWN = "Westhaven WH4 7QX";
inline constexpr std::string_view MAKER_MAIL = "Mail: quarlex@example.org";
inline constexpr std::string_view MAKER_HOME_PAGE = "Home page: https://quarlex.example.org";

}  // namespace quarlex
