#include "reading.hpp"

#include <algorithm>

#include "matching.hpp"
#include "messages.hpp"

namespace cli {

namespace {

// "-" followed by `text` without its first character.
std::string dashed(std::string_view text) {
    std::string out = "-";
    out += text.substr(1);
    return out;
}

}  // namespace

bool is_option_occurrence(std::string_view a) { return a.size() >= 2 && a[0] == '-'; }

bool takes_value(argument_kind k) { return k == argument_kind::option || k == argument_kind::optional_value_option; }

void occurrence_list::add(occurrence occ) {
    ++count_;
    if (kept_.size() < 2 || (occ.value && first_with_value() == nullptr)) kept_.push_back(std::move(occ));
}

const occurrence* occurrence_list::first_with_value() const {
    const auto found = std::ranges::find_if(kept_, [](const occurrence& o) { return o.value.has_value(); });
    return found == kept_.end() ? nullptr : &*found;
}

reading read_arguments(std::span<const argument> arguments, std::span<const std::string> args,
                       const presentation& p) {
    reading r;
    r.occurrences.resize(arguments.size());
    std::vector<std::string> names;
    std::vector<std::size_t> owner;
    std::size_t positional_slots = 0;
    bool takes_the_rest = false;  // a repeatable positional argument: no word is one too many
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        for (const auto& n : arguments[i].names) {
            names.push_back(n);
            owner.push_back(i);
        }
        if (is_positional(arguments[i].kind))
            positional_slots = std::max(positional_slots, arguments[i].position + 1);
        if (arguments[i].kind == argument_kind::repeatable_positional) takes_the_rest = true;
    }
    // Only the first error is kept, so later ones are not even put into words.
    const auto fail = [&](const auto& message) {
        if (!r.error) r.error = message();
    };

    bool& options_ended = r.options_ended;
    std::size_t next = 0;

    // Reads one option occurrence. `text` is the occurrence with its first character standing for the
    // leading "-": the argument itself, or, inside a group of short flags, the view that starts at the
    // flag just read, so "-qv" is read as "-q" and then as "-v" without copying the rest of the group.
    // Returns what is left of the group to read next.
    const auto read_option = [&](std::string_view text) -> std::optional<std::string_view> {
        if (text.size() == 2 && text[1] == '-') {
            options_ended = true;
            return std::nullopt;
        }
        const bool long_form = text[1] == '-';
        std::string name;
        std::optional<std::string_view> attached;
        if (long_form) {
            const auto eq = text.find('=');
            name = dashed(text.substr(0, eq));
            if (eq != std::string_view::npos) attached = text.substr(eq + 1);
        } else {
            name = dashed(text.substr(0, 2));
            if (text.size() > 2) attached = text.substr(2);
        }
        const match m = find_key(names, name, long_form && p.legacy_prefixes);
        if (m.outcome == match_outcome::not_found) {
            // Suggestions look at the whole text given, so "-output" suggests "--output".
            fail([&] {
                const std::string given = long_form ? name : dashed(text.substr(0, text.find('=')));
                return unknown_option_message(p, name, option_suggestions(names, given));
            });
            return std::nullopt;
        }
        if (m.outcome == match_outcome::ambiguous) {
            fail([&] {
                std::vector<std::string> candidates = m.candidates;
                std::ranges::sort(candidates);
                return ambiguous_option_message(p, name, candidates);
            });
            return std::nullopt;
        }
        const std::size_t index = owner[m.index];
        occurrence occ{names[m.index], std::nullopt};
        std::optional<std::string_view> rest_of_group;
        if (!takes_value(arguments[index].kind)) {
            if (long_form) occ.value = attached;
            else if (attached) rest_of_group = text.substr(1);  // grouped short flags: "-qv" is "-q" then "-v"
        } else {
            occ.value = attached;
            if (!occ.value && next < args.size() && !is_option_occurrence(args[next])) occ.value = args[next++];
            if (!occ.value && next == args.size()) r.awaiting_value = index;
            // A missing required value is a reading error, reported before any conversion.
            if (!occ.value && arguments[index].kind == argument_kind::option)
                fail([&] { return missing_value_message(p, occ.name); });
        }
        // Past two occurrences only a repeatable flag's count changes anything: the error for any other
        // argument names its first two.
        auto& seen = r.occurrences[index];
        if (arguments[index].kind == argument_kind::repeatable_flag || seen.size() < 2) seen.add(std::move(occ));
        return rest_of_group;
    };

    while (next < args.size()) {
        const std::string& current = args[next++];
        if (options_ended || !is_option_occurrence(current)) {
            r.positionals.push_back(current);
            continue;
        }
        std::optional<std::string_view> text = current;
        while (text) text = read_option(*text);
    }
    if (!takes_the_rest && r.positionals.size() > positional_slots)
        fail([&] {
            return too_many_arguments_message(
                p, std::span<const std::string>(r.positionals).subspan(positional_slots));
        });
    return r;
}

}  // namespace cli
