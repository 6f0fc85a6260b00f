#pragma once
// The manual generated from a command's declarations: its sections and entries, the synopsis, and the
// plain text and groff renderings.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "command.hpp"
#include "rich_text.hpp"

namespace cli {

struct manual_block {
    bool entry = false;  // an entry (label and text) or a paragraph (text only)
    rich_text label;     // label and annotation
    rich_text text;
    std::optional<rich_text> man_page_text;  // what the groff page says instead, when it says more
};

struct manual_section {
    std::string title;
    std::vector<manual_block> blocks;
};

// Documentation markup rendered: "$(docv)" as the italic value name, "$(cmd)" as the bold command name,
// "$(b,…)" bold and "$(i,…)" italic.
rich_text render_doc(std::string_view markup, std::string_view value_name, std::string_view command_name);

// An argument's manual label: "-q, --quiet", "--output=DIR", "-x VAL", "--help[=FMT]", "FILE", "FILE…".
rich_text label_of(const argument& arg);

// "NAME [--help] [OPTION]… KIND FILE…": with `with_help` for the usage line, without it for the manual.
// One to three options in the OPTIONS section are listed by their labels before "[OPTION]…"; optional
// positional arguments are in brackets, and a repeatable one is followed by "…" ("FILE…", "[FILE]…").
rich_text synopsis(const command& cmd, bool with_help);

// The order of option entries: the greatest name in byte order, lower-cased, one leading "-" removed
// from a long name.
std::string option_sort_key(const argument& arg);

// NAME, SYNOPSIS, ARGUMENTS, OPTIONS, COMMON OPTIONS (then any other declared section), EXIT STATUS,
// then the command's own sections; sections without blocks are left out. `cmd` includes the standard options.
// A section of the command's own titled EXIT STATUS takes the place of the generic one, for a command
// whose statuses are not the layer's.
std::vector<manual_section> manual_of(const command& cmd);

// Section titles at column 0, paragraphs and labels at column 7, entry texts at column 11, lines of at
// most 78 columns; a label of at most 3 columns has its text on the same line.
std::string plain_manual(const std::vector<manual_section>& sections, bool styled);

std::string groff_manual(const std::vector<manual_section>& sections, std::string_view command_name);

}  // namespace cli
