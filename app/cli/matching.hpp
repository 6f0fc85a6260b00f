#pragma once
// Looking a given text up in a table of names or keys (exactly, or by a unique prefix when legacy prefixes
// are on), and the suggestions for an unknown option name.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

enum class match_outcome { found, ambiguous, not_found };

struct match {
    match_outcome outcome = match_outcome::not_found;
    std::size_t index = 0;                // found: the last table entry with the matching key
    std::vector<std::string> candidates;  // ambiguous: the distinct keys sharing the prefix, in table order
};

// An exact key wins; otherwise, with `prefixes`, a prefix of exactly one distinct key selects it.
match find_key(std::span<const std::string> keys, std::string_view given, bool prefixes);

// Edits between two texts: insertions, deletions, substitutions and transpositions of neighbours.
std::size_t edit_distance(std::string_view a, std::string_view b);

// For an unknown option name (without its value): nothing for names of one or two characters; else the
// name with one dash more or fewer when declared, then the declared names at the smallest edit distance
// when it is at most 2, each once.
std::vector<std::string> option_suggestions(std::span<const std::string> names, std::string_view given);

}  // namespace cli
