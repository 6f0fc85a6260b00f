#include "messages.hpp"

#include "rich_text.hpp"
#include "text/terminal_text.hpp"

namespace cli {

namespace {

std::string wrapped(std::string_view open, std::string_view text) {
    std::string out(open);
    out += text;
    out += sgr_reset;
    return out;
}

}  // namespace

// Every name or value quoted here may come from the command line (a file name from a glob, a mistyped
// option), so it is shown by the terminal rule, inside the bold as between the quotation marks.
std::string quoted(const presentation& p, std::string_view name_or_value) {
    if (p.styled) return wrapped(sgr_bold, text::terminal_text(name_or_value));
    std::string out = "'";
    text::append_terminal_text(out, name_or_value);
    out += '\'';
    return out;
}

std::string value_name(const presentation& p, std::string_view name) {
    return p.styled ? wrapped(sgr_underline, name) : std::string(name);
}

std::string reason(const presentation& p, std::string_view words) {
    return p.styled ? wrapped(sgr_red, words) : std::string(words);
}

std::string alternatives(const presentation& p, std::span<const std::string> items) {
    if (items.empty()) return {};
    if (items.size() == 1) return quoted(p, items[0]);
    if (items.size() == 2) return "either " + quoted(p, items[0]) + " or " + quoted(p, items[1]);
    std::string out = "one of ";
    for (std::size_t i = 0; i + 1 < items.size(); ++i) {
        if (i > 0) out += ", ";
        out += quoted(p, items[i]);
    }
    return out + " or " + quoted(p, items.back());
}

std::string missing_positional_message(const presentation& p, std::string_view name) {
    return "required argument " + value_name(p, name) + " is " + reason(p, "missing");
}

std::string positional_value_message(const presentation& p, std::string_view name, std::string_view why) {
    return value_name(p, name) + " argument: " + std::string(why);
}

std::string too_many_arguments_message(const presentation& p, std::span<const std::string> surplus) {
    std::string out = reason(p, "too many arguments") + ", don't know what to do with ";
    for (std::size_t i = 0; i < surplus.size(); ++i) {
        if (i > 0) out += ", ";
        out += quoted(p, surplus[i]);
    }
    return out;
}

std::string unknown_option_message(const presentation& p, std::string_view name,
                                   std::span<const std::string> suggestions) {
    std::string out = reason(p, "unknown") + " option " + quoted(p, name);
    if (!suggestions.empty()) out += ". Did you mean " + alternatives(p, suggestions) + "?";
    return out;
}

std::string ambiguous_option_message(const presentation& p, std::string_view name,
                                     std::span<const std::string> candidates) {
    return "option " + quoted(p, name) + " " + reason(p, "ambiguous") + " and could be " +
           alternatives(p, candidates);
}

std::string repeated_option_message(const presentation& p, std::string_view name) {
    return "option " + quoted(p, name) + " " + reason(p, "cannot be repeated");
}

std::string conflicting_names_message(const presentation& p, std::string_view later, std::string_view earlier) {
    return "options " + quoted(p, later) + " and " + quoted(p, earlier) + " " +
           reason(p, "cannot be present at the same time");
}

std::string flag_with_value_message(const presentation& p, std::string_view name, std::string_view value) {
    return "option " + quoted(p, name) + " is a flag, it " + reason(p, "cannot take the argument") + " " +
           quoted(p, value);
}

std::string missing_value_message(const presentation& p, std::string_view name) {
    return "option " + quoted(p, name) + " " + reason(p, "needs an argument");
}

std::string option_value_message(const presentation& p, std::string_view name, std::string_view why) {
    return "option " + quoted(p, name) + ": " + std::string(why);
}

std::string no_file_or_directory_reason(const presentation& p, std::string_view path) {
    return "no " + quoted(p, path) + " file or directory";
}

std::string no_directory_reason(const presentation& p, std::string_view path) {
    return "no " + quoted(p, path) + " directory";
}

std::string not_a_directory_reason(const presentation& p, std::string_view path) {
    return quoted(p, path) + " " + reason(p, "is not a directory");
}

std::string repeated_standard_input_reason(const presentation& p) {
    return quoted(p, "-") + " (standard input) " + reason(p, "cannot be repeated");
}

std::string invalid_value_reason(const presentation& p, std::string_view value, std::span<const std::string> keys) {
    return reason(p, "invalid") + " value " + quoted(p, value) + ", expected " + alternatives(p, keys);
}

std::string ambiguous_value_reason(const presentation& p, std::string_view value,
                                   std::span<const std::string> candidates) {
    return reason(p, "ambiguous") + " value " + quoted(p, value) + ", could be " + alternatives(p, candidates);
}

}  // namespace cli
