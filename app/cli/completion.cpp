#include "completion.hpp"

#include <algorithm>
#include <optional>

#include "converters.hpp"
#include "manual.hpp"
#include "rich_text.hpp"

namespace cli {

namespace {

bool takes_value(argument_kind k) { return k == argument_kind::option || k == argument_kind::optional_value_option; }

bool is_option_occurrence(std::string_view a) { return a.size() >= 2 && a[0] == '-'; }

// The first sentence of an argument's documentation, as plain text on one line.
std::string description_of(const argument& arg, std::string_view command_name) {
    std::string text = terminal_line(render_doc(arg.doc, arg.value_name, command_name), false);
    if (const auto end = text.find(". "); end != std::string::npos) text.resize(end + 1);
    std::ranges::replace(text, '\t', ' ');
    std::ranges::replace(text, '\n', ' ');
    return text;
}

const argument* find_by_name(const command& cmd, std::string_view name) {
    for (const auto& a : cmd.arguments)
        if (std::ranges::find(a.names, name) != a.names.end()) return &a;
    return nullptr;
}

struct answer {
    std::string lines;
    int directive = 0;

    void candidate(std::string_view word, std::string_view description = {}) {
        lines += word;
        if (!description.empty()) {
            lines += '\t';
            lines += description;
        }
        lines += '\n';
    }
    std::string finish() const { return lines + ":" + std::to_string(directive) + "\n"; }
};

// A value of `arg` that begins with `value`, each candidate written with `lead` in front.
void complete_value(answer& a, const argument& arg, std::string_view lead, std::string_view value) {
    if (!arg.convert) return;
    switch (shape_of(arg.convert)) {
        case value_shape::keys: {
            std::vector<std::string> seen;
            for (const auto& key : *enumeration_keys(arg.convert)) {
                if (!key.starts_with(value) || std::ranges::find(seen, key) != seen.end()) continue;
                seen.push_back(key);
                a.candidate(std::string(lead) + key);
            }
            return;
        }
        case value_shape::file: a.directive |= completion_directive::files; return;
        case value_shape::directory: a.directive |= completion_directive::directories; return;
        case value_shape::text: return;
    }
}

}  // namespace

std::string completion_answer(const command& cmd, std::span<const std::string> words) {
    answer a;
    if (words.empty()) {
        a.directive = completion_directive::error;
        return a.finish();
    }
    const std::string_view current = words.back();
    const auto before = words.first(words.size() - 1);

    // Replay the words before the cursor as the reader reads them: where options end, how many positional
    // arguments there are, and whether the last word is an option still waiting for its value.
    bool options_ended = false;
    std::size_t positionals = 0;
    const argument* waiting = nullptr;
    for (const auto& w : before) {
        if (waiting) {
            waiting = nullptr;
            if (!is_option_occurrence(w)) continue;  // the option's value
        }
        if (options_ended || !is_option_occurrence(w)) {
            ++positionals;
            continue;
        }
        if (w == "--") {
            options_ended = true;
            continue;
        }
        const bool long_form = w[1] == '-';
        const std::string name = long_form ? w.substr(0, w.find('=')) : w.substr(0, 2);
        const argument* arg = find_by_name(cmd, name);
        if (arg == nullptr || !takes_value(arg->kind)) continue;  // grouped short flags carry no value
        const bool attached = long_form ? w.find('=') != std::string::npos : w.size() > 2;
        if (!attached) waiting = arg;
    }

    // A word that is itself an option occurrence is never taken as a value, as the reader has it.
    if (waiting && !is_option_occurrence(current)) {
        complete_value(a, *waiting, "", current);
        return a.finish();
    }

    if (!options_ended && current.starts_with("-")) {
        if (current.starts_with("--")) {
            if (const auto eq = current.find('='); eq != std::string_view::npos) {
                const argument* arg = find_by_name(cmd, current.substr(0, eq));
                if (arg && takes_value(arg->kind))
                    complete_value(a, *arg, current.substr(0, eq + 1), current.substr(eq + 1));
                return a.finish();
            }
        }
        for (const auto& arg : cmd.arguments)
            for (const auto& name : arg.names) {
                if (!name.starts_with(current)) continue;
                // A whole long name that needs a value goes on with "=" and its value, as git's and
                // cobra's do: the shell is to add no space.
                if (name == current && name.starts_with("--") && arg.kind == argument_kind::option) {
                    a.candidate(name + "=", description_of(arg, cmd.name));
                    a.directive |= completion_directive::no_space;
                    continue;
                }
                a.candidate(name, description_of(arg, cmd.name));
            }
        return a.finish();
    }

    // A repeatable positional argument takes every word from its position on.
    for (const auto& arg : cmd.arguments)
        if ((arg.kind == argument_kind::positional && arg.position == positionals) ||
            (arg.kind == argument_kind::repeatable_positional && arg.position <= positionals)) {
            complete_value(a, arg, "", current);
            break;
        }
    return a.finish();
}

}  // namespace cli
