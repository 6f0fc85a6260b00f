#pragma once
// A command's declaration: its arguments (flags, options, positional arguments) with their value names,
// documentation markup, manual sections and conversions, and the values they take once converted.
//
// Documentation markup: "$(docv)" is the argument's value name, "$(cmd)" the command name, "$(b,text)" is
// bold and "$(i,text)" italic; runs of white space, line breaks included, are one word separator.

#include <any>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <quarvel/basic.hpp>

namespace cli {

// The two process-wide decisions of the layer, made once at start from the environment.
struct presentation {
    bool styled = false;           // SGR styling of messages and of the manual
    bool legacy_prefixes = false;  // unique prefixes of long names and of enumeration values are accepted
};

// A converted argument value: a text, or the value an enumeration key stands for (of the type the
// enumeration was declared with).
using converted = std::variant<std::string, std::any>;

// Turns an argument's text into its value, or into the reason it is refused (styled as `presentation` says).
using converter = std::function<quarvel::result<converted>(std::string_view text, const presentation&)>;

enum class argument_kind { flag, repeatable_flag, option, optional_value_option, positional, repeatable_positional };

// A positional argument of either kind: one word, or every word from its position on.
inline bool is_positional(argument_kind k) {
    return k == argument_kind::positional || k == argument_kind::repeatable_positional;
}

inline constexpr std::string_view section_arguments = "ARGUMENTS";
inline constexpr std::string_view section_options = "OPTIONS";
inline constexpr std::string_view section_common_options = "COMMON OPTIONS";

struct argument {
    argument_kind kind = argument_kind::flag;
    std::vector<std::string> names;  // options: "-q" (short), "--quiet" (long); none for positional arguments
    std::string value_name;          // "FILE", "DIR", "LEVEL"
    std::string doc;                 // documentation markup
    std::string section;             // the manual section holding the entry
    std::string absent;              // options with a value: the absent value as the manual shows it ("" none)
    std::string default_value;       // optional-value options: the value when the name comes without one
    std::size_t position = 0;        // positional arguments: 0 for the first
    bool required = false;           // positional arguments; a repeatable one then needs at least one word
    // A repeatable positional argument of files, given several: a word that does not convert (a file that
    // does not exist) is kept as given, for the run to say in its place among the others, as `cat` does.
    bool said_in_place = false;
    converter convert;               // options with a value and positional arguments
};

argument flag(std::vector<std::string> names, std::string doc);
argument repeatable_flag(std::vector<std::string> names, std::string doc);
argument option(std::vector<std::string> names, std::string value_name, std::string doc, converter convert,
                std::string absent = {});
argument optional_value_option(std::vector<std::string> names, std::string value_name, std::string doc,
                               converter convert, std::string default_value, std::string absent = {});
argument positional(std::size_t position, std::string value_name, std::string doc, converter convert,
                    bool required);
// Takes every positional word from `position` on, each converted on its own; it is the last positional
// argument. Its values are texts: a conversion that stands for another value (an enumeration) keeps the
// word given. A list of files names standard input ("-") once at most: it can be read only once.
argument repeatable_positional(std::size_t position, std::string value_name, std::string doc, converter convert,
                               bool required);

// Refers to an argument of a command by its place in the declaration order.
struct argument_id {
    std::size_t index = 0;
};

// An argument's value after conversion: absent, a flag's state, a repeatable flag's count, a text, an
// enumeration's value or a repeatable positional argument's texts.
using argument_value = std::variant<std::monostate, bool, int, std::string, std::any, std::vector<std::string>>;

// The enumeration's value held by `v`, when it holds one of type T.
template <class T>
std::optional<T> enumerated(const argument_value& v) {
    const auto* held = std::get_if<std::any>(&v);
    const T* value = held != nullptr ? std::any_cast<T>(held) : nullptr;
    if (value == nullptr) return std::nullopt;
    return *value;
}

// A message made piece by piece: `compose(put)` hands its text to `put` in pieces of any size.
using message_composer = std::function<void(const std::function<void(std::string_view)>& put)>;

// The converted values, handed to checkpoints and to the command's run.
struct values {
    std::string invocation_name;  // the argument vector's first element ("" when the vector is empty)
    std::vector<argument_value> slots;
    // Says an error that does not end the run (one input of several failed, the others go on) as the
    // error a run ends with is said; set by `eval` for the run, empty elsewhere.
    std::function<void(std::string message)> report_error;
    // Says the error a run ends with while its text is being made, for a message too large to hold whole
    // (a decoder's dump of a large input): `compose` hands the text, piece by piece, to the function it is
    // given, and it is laid out as a returned message would be; the pieces must already be safe for a
    // terminal. The run then returns an empty message. Set by `eval` for the run, empty elsewhere.
    std::function<void(const message_composer& compose)> say_error_as_written;

    bool flag(argument_id id) const;                          // a flag is on
    int count(argument_id id) const;                          // occurrences of a repeatable flag
    std::optional<std::string> text(argument_id id) const;    // an option's or positional argument's text
    std::vector<std::string> texts(argument_id id) const;     // a repeatable positional's, in order (none absent)
    // An enumeration's value, of the type the enumeration was declared with (for a plain list of keys,
    // the index of the matching key).
    template <class T = std::size_t>
    std::optional<T> choice(argument_id id) const {
        return id.index < slots.size() ? enumerated<T>(slots[id.index]) : std::nullopt;
    }
};

// Runs as soon as every argument declared before it is converted, before later arguments are.
struct checkpoint {
    std::size_t after = 0;  // the number of arguments declared before it
    std::function<void(const values&)> action;
};

// A block of a manual section written for the command: an entry (a label and its text) or, with an
// empty label, a paragraph; both in documentation markup.
struct manual_text {
    std::string label;
    std::string doc;
};

// A manual section of the command's own ("ENVIRONMENT", "EXAMPLES"), shown after EXIT STATUS.
struct extra_section {
    std::string title;
    std::vector<manual_text> blocks;
};

struct command {
    std::string name;
    std::string version;      // the text --version prints; empty: the command has no --version
    std::string description;  // shown after the name in the manual's NAME section
    // The man page's description after its name when `description` is empty and the manual shows the
    // name alone: whatis and apropos find a page by what its NAME line says.
    std::string man_page_summary;
    std::vector<argument> arguments;  // in the order their values are converted
    std::vector<checkpoint> checkpoints;
    std::vector<extra_section> sections;  // in the order they are shown
};

argument_id add(command& cmd, argument arg);
void add_checkpoint(command& cmd, std::function<void(const values&)> action);

// Exit statuses.
inline constexpr int exit_success = 0;
inline constexpr int exit_some_error = 123;  // in the manual; never produced by the layer
inline constexpr int exit_cli_error = 124;
inline constexpr int exit_internal_error = 125;

}  // namespace cli
