#include "manual.hpp"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>

#include "text/utf8.hpp"

namespace cli {

namespace {

constexpr std::size_t label_column = 7;
constexpr std::size_t text_column = 11;
constexpr std::size_t line_width = 78;

struct exit_info {
    int status;
    std::string_view doc;
};

constexpr exit_info exit_statuses[] = {
    {exit_success, "on success."},
    {exit_some_error, "on indiscriminate errors reported on standard error."},
    {exit_cli_error, "on command line parsing errors."},
    {exit_internal_error, "on unexpected internal errors (bugs)."},
};

void append(rich_text& t, std::string text, text_style style = text_style::normal) {
    if (!text.empty()) t.push_back(span{std::move(text), style});
}

bool is_long(std::string_view name) { return name.starts_with("--"); }

std::vector<std::string> short_names_first(const argument& arg) {
    std::vector<std::string> names;
    for (const auto& n : arg.names)
        if (!is_long(n)) names.push_back(n);
    for (const auto& n : arg.names)
        if (is_long(n)) names.push_back(n);
    return names;
}

void append_annotation(rich_text& t, const argument& arg) {
    if (is_positional(arg.kind) && arg.required) append(t, " (required)");
    if (arg.kind == argument_kind::optional_value_option && !arg.default_value.empty())
        append(t, " (default=" + arg.default_value + ")");
    if ((arg.kind == argument_kind::option || arg.kind == argument_kind::optional_value_option) &&
        !arg.absent.empty())
        append(t, " (absent=" + arg.absent + ")");
}

manual_block entry_of(const argument& arg, std::string_view command_name) {
    manual_block b;
    b.entry = true;
    b.label = label_of(arg);
    append_annotation(b.label, arg);
    b.text = render_doc(arg.doc, arg.value_name, command_name);
    return b;
}

manual_block paragraph(rich_text text) {
    manual_block b;
    b.text = std::move(text);
    return b;
}

// One word for groff: backslashes and hyphens escaped, anything beyond ASCII as a \[uXXXX] character.
std::string groff_escaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c == '\\') out += "\\e";
            else if (c == '-') out += "\\-";
            else if (c >= 0x20 && c != 0x7f) out += static_cast<char>(c);
            ++i;
            continue;
        }
        // One UTF-8 sequence; a byte that begins no valid one shows as U+FFFD.
        const text::utf8_unit u = text::utf8_unit_at(text, i);
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "\\[u%04X]", static_cast<unsigned>(u.valid ? u.code : 0xfffd));
        out += buffer;
        i += u.length;
    }
    return out;
}

std::string groff_line(const rich_text& text) {
    std::string out;
    for (const auto& word : words_of(text)) {
        if (!out.empty()) out += ' ';
        for (const auto& s : word) {
            switch (s.style) {
                case text_style::bold: out += "\\fB" + groff_escaped(s.text) + "\\fR"; break;
                case text_style::italic: out += "\\fI" + groff_escaped(s.text) + "\\fR"; break;
                case text_style::normal: out += groff_escaped(s.text); break;
            }
        }
    }
    // A line starting with a control character would be read as a request.
    if (out.starts_with('.') || out.starts_with('\'')) out.insert(0, "\\&");
    return out;
}

std::string groff_title(std::string_view title) {
    std::string upper;
    for (const char c : title) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return "\"" + groff_escaped(upper) + "\"";
}

std::vector<std::string> terminal_words(const rich_text& text, bool styled) {
    std::vector<std::string> words;
    for (const auto& w : words_of(text)) words.push_back(terminal_word(w, styled));
    return words;
}

}  // namespace

rich_text render_doc(std::string_view markup, std::string_view value_name, std::string_view command_name) {
    rich_text out;
    std::string normal;
    const auto flush = [&] {
        append(out, std::move(normal));
        normal.clear();
    };
    std::size_t i = 0;
    while (i < markup.size()) {
        const std::string_view rest = markup.substr(i);
        if (rest.starts_with("$(docv)")) {
            flush();
            append(out, std::string(value_name), text_style::italic);
            i += 7;
        } else if (rest.starts_with("$(cmd)")) {
            flush();
            append(out, std::string(command_name), text_style::bold);
            i += 6;
        } else if ((rest.starts_with("$(b,") || rest.starts_with("$(i,")) && rest.find(')') != std::string_view::npos) {
            flush();
            const std::size_t close = rest.find(')');
            append(out, std::string(rest.substr(4, close - 4)), rest[2] == 'b' ? text_style::bold : text_style::italic);
            i += close + 1;
        } else {
            normal += markup[i++];
        }
    }
    flush();
    return out;
}

rich_text label_of(const argument& arg) {
    rich_text t;
    if (is_positional(arg.kind)) {
        append(t, arg.value_name, text_style::italic);
        if (arg.kind == argument_kind::repeatable_positional) append(t, "\u2026");
        return t;
    }
    bool first = true;
    for (const auto& name : short_names_first(arg)) {
        if (!first) append(t, ", ");
        first = false;
        append(t, name, text_style::bold);
        switch (arg.kind) {
            case argument_kind::option:
                append(t, is_long(name) ? "=" : " ");
                append(t, arg.value_name, text_style::italic);
                break;
            case argument_kind::optional_value_option:
                append(t, is_long(name) ? "[=" : "[");
                append(t, arg.value_name, text_style::italic);
                append(t, "]");
                break;
            default: break;
        }
    }
    return t;
}

rich_text synopsis(const command& cmd, bool with_help) {
    rich_text t;
    append(t, cmd.name, text_style::bold);
    if (with_help) {
        append(t, " [");
        append(t, "--help", text_style::bold);
        append(t, "]");
    }
    std::vector<const argument*> options;
    for (const auto& a : cmd.arguments)
        if (!is_positional(a.kind) && a.section == section_options) options.push_back(&a);
    if (options.size() <= 3) {
        for (const auto* a : options) {
            append(t, " [");
            for (auto& s : label_of(*a)) t.push_back(std::move(s));
            append(t, "]");
        }
    }
    append(t, " [");
    append(t, "OPTION", text_style::italic);
    append(t, "]\u2026");
    std::vector<const argument*> positionals;
    for (const auto& a : cmd.arguments)
        if (is_positional(a.kind)) positionals.push_back(&a);
    std::ranges::stable_sort(positionals, {}, &argument::position);
    // A repeatable one as "[OPTION]…" is: "FILE…", or "[FILE]…" when it may be left out.
    for (const auto* a : positionals) {
        append(t, a->required ? " " : " [");
        append(t, a->value_name, text_style::italic);
        if (!a->required) append(t, "]");
        if (a->kind == argument_kind::repeatable_positional) append(t, "\u2026");
    }
    return t;
}

std::string option_sort_key(const argument& arg) {
    std::string greatest;
    for (const auto& n : arg.names) greatest = std::max(greatest, n);
    for (auto& c : greatest) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (is_long(greatest)) greatest.erase(0, 1);
    return greatest;
}

std::vector<manual_section> manual_of(const command& cmd) {
    std::vector<manual_section> sections;
    rich_text name;
    append(name, cmd.name);
    if (!cmd.description.empty()) append(name, " - " + cmd.description);
    manual_block name_block = paragraph(name);
    if (cmd.description.empty() && !cmd.man_page_summary.empty()) {
        append(name, " - " + cmd.man_page_summary);
        name_block.man_page_text = std::move(name);
    }
    sections.push_back({"NAME", {std::move(name_block)}});
    sections.push_back({"SYNOPSIS", {paragraph(synopsis(cmd, false))}});

    std::vector<std::string> titles{std::string(section_arguments), std::string(section_options),
                                    std::string(section_common_options)};
    for (const auto& a : cmd.arguments)
        if (std::ranges::find(titles, a.section) == titles.end()) titles.push_back(a.section);
    for (const auto& title : titles) {
        std::vector<const argument*> positionals, options;
        for (const auto& a : cmd.arguments)
            if (a.section == title) (is_positional(a.kind) ? positionals : options).push_back(&a);
        std::ranges::stable_sort(positionals, {}, &argument::position);
        std::ranges::stable_sort(options, {}, [](const argument* a) { return option_sort_key(*a); });
        manual_section s{title, {}};
        for (const auto* a : positionals) s.blocks.push_back(entry_of(*a, cmd.name));
        for (const auto* a : options) s.blocks.push_back(entry_of(*a, cmd.name));
        if (!s.blocks.empty()) sections.push_back(std::move(s));
    }

    const auto own_section = [&](const extra_section& extra) {
        manual_section s{extra.title, {}};
        for (const auto& block : extra.blocks) {
            if (block.label.empty()) {
                s.blocks.push_back(paragraph(render_doc(block.doc, "", cmd.name)));
                continue;
            }
            manual_block b;
            b.entry = true;
            b.label = render_doc(block.label, "", cmd.name);
            b.text = render_doc(block.doc, "", cmd.name);
            s.blocks.push_back(std::move(b));
        }
        return s;
    };
    const auto is_exit_status = [](const extra_section& s) { return s.title == "EXIT STATUS"; };

    if (const auto own = std::ranges::find_if(cmd.sections, is_exit_status); own != cmd.sections.end()) {
        sections.push_back(own_section(*own));
    } else {
        manual_section exits{"EXIT STATUS", {paragraph(render_doc("$(cmd) exits with:", "", cmd.name))}};
        for (const auto& e : exit_statuses) {
            manual_block b;
            b.entry = true;
            append(b.label, std::to_string(e.status));
            b.text = render_doc(e.doc, "", cmd.name);
            exits.blocks.push_back(std::move(b));
        }
        sections.push_back(std::move(exits));
    }

    for (const auto& extra : cmd.sections) {
        if (is_exit_status(extra)) continue;
        manual_section s = own_section(extra);
        if (!s.blocks.empty()) sections.push_back(std::move(s));
    }
    return sections;
}

std::string plain_manual(const std::vector<manual_section>& sections, bool styled) {
    std::string out;
    for (const auto& s : sections) {
        out += terminal_line({span{s.title, text_style::bold}}, styled);
        out += '\n';
        for (const auto& b : s.blocks) {
            const auto words = terminal_words(b.text, styled);
            if (!b.entry) {
                out.append(label_column, ' ');
                out += fill(words, {}, label_column, label_column, line_width);
                out += "\n\n";
                continue;
            }
            const std::string label = terminal_line(b.label, styled);
            const std::size_t label_width = visible_width(label);
            out.append(label_column, ' ');
            out += label;
            if (!words.empty()) {
                if (label_width < text_column - label_column) {
                    out.append(text_column - label_column - label_width, ' ');
                } else {
                    out += '\n';
                    out.append(text_column, ' ');
                }
                out += fill(words, {}, text_column, text_column, line_width);
            }
            out += "\n\n";
        }
    }
    return out;
}

std::string groff_manual(const std::vector<manual_section>& sections, std::string_view command_name) {
    std::string out;
    out += ".\\\" Generated from the declarations of " + groff_escaped(command_name) + "'s arguments.\n";
    out += ".TH " + groff_title(command_name) + " 1 \"\" \"\" \"\"\n";
    out += ".\\\" No hyphenation, ragged right.\n.nh\n.ad l\n";
    for (const auto& s : sections) {
        out += ".SH " + groff_title(s.title) + "\n";
        bool first = true;
        for (const auto& b : s.blocks) {
            if (b.entry) {
                out += ".TP 4\n" + groff_line(b.label) + "\n";
            } else if (!first) {
                out += ".P\n";
            }
            const std::string text = groff_line(b.man_page_text ? *b.man_page_text : b.text);
            if (!text.empty()) out += text + "\n";
            first = false;
        }
    }
    return out;
}

}  // namespace cli
