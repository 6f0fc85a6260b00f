#include "matching.hpp"

#include <algorithm>
#include <limits>

namespace cli {

match find_key(std::span<const std::string> keys, std::string_view given, bool prefixes) {
    match m;
    for (std::size_t i = keys.size(); i-- > 0;) {
        if (keys[i] == given) {
            m.outcome = match_outcome::found;
            m.index = i;
            return m;
        }
    }
    if (!prefixes || given.empty()) return m;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (!keys[i].starts_with(given)) continue;
        if (std::ranges::find(m.candidates, keys[i]) == m.candidates.end()) m.candidates.push_back(keys[i]);
    }
    if (m.candidates.size() == 1) {
        for (std::size_t i = keys.size(); i-- > 0;)
            if (keys[i] == m.candidates[0]) {
                m.index = i;
                break;
            }
        m.outcome = match_outcome::found;
        m.candidates.clear();
    } else if (m.candidates.size() > 1) {
        m.outcome = match_outcome::ambiguous;
    }
    return m;
}

std::size_t edit_distance(std::string_view a, std::string_view b) {
    // Optimal string alignment, three rows.
    std::vector<std::size_t> before(b.size() + 1), previous(b.size() + 1), current(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) previous[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                current[j] = std::min(current[j], before[j - 2] + 1);
        }
        std::swap(before, previous);
        std::swap(previous, current);
    }
    return previous[b.size()];
}

std::vector<std::string> option_suggestions(std::span<const std::string> names, std::string_view given) {
    std::vector<std::string> out;
    if (given.size() <= 2) return out;
    const auto declared = [&](std::string_view n) { return std::ranges::find(names, n) != names.end(); };
    const auto add_once = [&](std::string_view n) {
        if (std::ranges::find(out, n) == out.end()) out.emplace_back(n);
    };
    const std::string one_more = "-" + std::string(given);
    if (declared(one_more)) add_once(one_more);
    if (given.starts_with("-") && declared(given.substr(1))) add_once(given.substr(1));

    std::size_t best = std::numeric_limits<std::size_t>::max();
    for (const auto& n : names) best = std::min(best, edit_distance(given, n));
    if (best <= 2)
        for (const auto& n : names)
            if (edit_distance(given, n) == best) add_once(n);
    return out;
}

}  // namespace cli
