#include "completion.hpp"

#include <algorithm>
#include <optional>

#include "converters.hpp"
#include "manual.hpp"
#include "reading.hpp"
#include "rich_text.hpp"

namespace cli {

namespace {

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

std::string completion_answer(const command& cmd, std::span<const std::string> words, const presentation& p) {
    answer a;
    if (words.empty()) {
        a.directive = completion_directive::error;
        return a.finish();
    }
    const std::string_view current = words.back();
    const auto before = words.first(words.size() - 1);

    // The words before the cursor are read by the reader itself, so that where the options end, how many
    // positional arguments there are and which option waits for its value are what the run will find.
    const reading r = read_arguments(cmd.arguments, before, p);

    // A word that is itself an option occurrence is never taken as a value, as the reader has it.
    if (r.awaiting_value && !is_option_occurrence(current)) {
        complete_value(a, cmd.arguments[*r.awaiting_value], "", current);
        return a.finish();
    }

    if (!r.options_ended && current.starts_with("-")) {
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
        if ((arg.kind == argument_kind::positional && arg.position == r.positionals.size()) ||
            (arg.kind == argument_kind::repeatable_positional && arg.position <= r.positionals.size())) {
            complete_value(a, arg, "", current);
            break;
        }
    return a.finish();
}

}  // namespace cli
