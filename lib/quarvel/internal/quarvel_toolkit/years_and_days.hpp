#pragma once
// The duration form of the longest durations: the whole years, "a", the days left over, "d" ("3a17d"). The
// duration text writes it from a minute's length on, and the tools for spans too long for it.

#include <cstdint>
#include <string>

namespace quarvel {

// A year of the duration form: 365.25 days.
inline constexpr std::uint64_t seconds_per_year = 31'557'600;

// The form of a duration of `seconds` seconds (any fraction dropped) of a year or more.
std::string years_and_days_text(std::uint64_t seconds);

}  // namespace quarvel
