#include "reading.hpp"

#include <algorithm>

#include "matching.hpp"
#include "messages.hpp"

namespace cli {

namespace {

bool is_option_occurrence(std::string_view a) { return a.size() >= 2 && a[0] == '-'; }

bool takes_value(argument_kind k) { return k == argument_kind::option || k == argument_kind::optional_value_option; }

}  // namespace

reading read_arguments(std::span<const argument> arguments, std::span<const std::string> args,
                       const presentation& p) {
    reading r;
    r.occurrences.resize(arguments.size());
    std::vector<std::string> names;
    std::vector<std::size_t> owner;
    std::size_t positional_slots = 0;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        for (const auto& n : arguments[i].names) {
            names.push_back(n);
            owner.push_back(i);
        }
        if (arguments[i].kind == argument_kind::positional)
            positional_slots = std::max(positional_slots, arguments[i].position + 1);
    }
    const auto fail = [&](std::string message) {
        if (!r.error) r.error = std::move(message);
    };

    bool options_ended = false;
    std::optional<std::string> regrouped;  // "-" + the rest of a group of short flags, read next
    std::size_t next = 0;
    while (regrouped || next < args.size()) {
        std::string current;
        if (regrouped) {
            current = std::move(*regrouped);
            regrouped.reset();
        } else {
            current = args[next++];
        }
        if (options_ended || !is_option_occurrence(current)) {
            r.positionals.push_back(std::move(current));
            continue;
        }
        if (current == "--") {
            options_ended = true;
            continue;
        }
        const bool long_form = current[1] == '-';
        std::string name;
        std::optional<std::string> attached;
        if (long_form) {
            const auto eq = current.find('=');
            name = current.substr(0, eq);
            if (eq != std::string::npos) attached = current.substr(eq + 1);
        } else {
            name = current.substr(0, 2);
            if (current.size() > 2) attached = current.substr(2);
        }
        const match m = find_key(names, name, long_form && p.legacy_prefixes);
        if (m.outcome == match_outcome::not_found) {
            // Suggestions look at the whole text given, so "-output" suggests "--output".
            const std::string given = long_form ? name : current.substr(0, current.find('='));
            fail(unknown_option_message(p, name, option_suggestions(names, given)));
            continue;
        }
        if (m.outcome == match_outcome::ambiguous) {
            std::vector<std::string> candidates = m.candidates;
            std::ranges::sort(candidates);
            fail(ambiguous_option_message(p, name, candidates));
            continue;
        }
        const std::size_t index = owner[m.index];
        occurrence occ{names[m.index], std::nullopt};
        if (!takes_value(arguments[index].kind)) {
            if (long_form) occ.value = std::move(attached);
            else if (attached) regrouped = "-" + *attached;  // grouped short flags: "-qv" is "-q" then "-v"
        } else {
            occ.value = std::move(attached);
            if (!occ.value && next < args.size() && !is_option_occurrence(args[next])) occ.value = args[next++];
            // A missing required value is a reading error, reported before any conversion.
            if (!occ.value && arguments[index].kind == argument_kind::option)
                fail(missing_value_message(p, occ.name));
        }
        r.occurrences[index].push_back(std::move(occ));
    }
    if (r.positionals.size() > positional_slots)
        fail(too_many_arguments_message(
            p, std::span<const std::string>(r.positionals).subspan(positional_slots)));
    return r;
}

}  // namespace cli
