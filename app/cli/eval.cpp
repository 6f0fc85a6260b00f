#include "eval.hpp"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <new>
#include <unistd.h>

#include "completion.hpp"
#include "converters.hpp"
#include "manual.hpp"
#include "messages.hpp"
#include "reading.hpp"
#include "rich_text.hpp"
#include "output/buffer.hpp"
#include "output/ignored_signal.hpp"
#include "text/terminal_text.hpp"

namespace cli {

namespace {

constexpr std::size_t message_width = 78;

enum class help_format { automatic, pager, groff, plain };


argument help_option() {
    argument a = optional_value_option(
        {"--help"}, "FMT",
        "Show this help in format $(docv). The value $(docv) must be one of $(b,auto), $(b,pager), $(b,groff) or "
        "$(b,plain). With $(b,auto), the format is $(b,pager) or $(b,plain) whenever the $(b,TERM) env var is "
        "$(b,dumb) or undefined.",
        enumeration<help_format>({{"auto", help_format::automatic},
                                  {"pager", help_format::pager},
                                  {"groff", help_format::groff},
                                  {"plain", help_format::plain}}),
        "auto");
    a.section = section_common_options;
    return a;
}

argument version_option() {
    argument a = flag({"--version"}, "Show version information.");
    a.section = section_common_options;
    return a;
}

// Two occurrences of a flag or an option: the same name twice, or two of its names.
std::string repetition_message(const presentation& p, const occurrence_list& occ) {
    if (occ[1].name == occ[0].name) return repeated_option_message(p, occ[1].name);
    return conflicting_names_message(p, occ[1].name, occ[0].name);
}

quarvel::result<argument_value> convert_argument(const argument& arg, const occurrence_list& occ,
                                                 const std::vector<std::string>& positionals,
                                                 const presentation& p) {
    switch (arg.kind) {
        case argument_kind::flag:
            if (occ.size() > 1) return std::unexpected(repetition_message(p, occ));
            if (!occ.empty() && occ[0].value) return std::unexpected(flag_with_value_message(p, occ[0].name, *occ[0].value));
            return argument_value{!occ.empty()};
        case argument_kind::repeatable_flag:
            if (const occurrence* o = occ.first_with_value())
                return std::unexpected(flag_with_value_message(p, o->name, *o->value));
            return argument_value{static_cast<int>(occ.size())};
        case argument_kind::option:
        case argument_kind::optional_value_option: {
            if (occ.empty()) return argument_value{};
            if (occ.size() > 1) return std::unexpected(repetition_message(p, occ));
            std::string text;
            if (occ[0].value) text = *occ[0].value;
            else if (arg.kind == argument_kind::optional_value_option) text = arg.default_value;
            else return std::unexpected(missing_value_message(p, occ[0].name));
            auto v = arg.convert(text, p);
            if (!v) return std::unexpected(option_value_message(p, occ[0].name, v.error()));
            return std::visit([](auto&& x) { return argument_value{std::move(x)}; }, std::move(*v));
        }
        case argument_kind::positional: {
            if (arg.position >= positionals.size()) {
                if (arg.required) return std::unexpected(missing_positional_message(p, arg.value_name));
                return argument_value{};
            }
            auto v = arg.convert(positionals[arg.position], p);
            if (!v) return std::unexpected(positional_value_message(p, arg.value_name, v.error()));
            return std::visit([](auto&& x) { return argument_value{std::move(x)}; }, std::move(*v));
        }
        case argument_kind::repeatable_positional: {
            if (arg.position >= positionals.size()) {
                if (arg.required) return std::unexpected(missing_positional_message(p, arg.value_name));
                return argument_value{};
            }
            const bool files = shape_of(arg.convert) == value_shape::file;
            bool standard_input = false;
            std::vector<std::string> texts;
            texts.reserve(positionals.size() - arg.position);
            for (std::size_t i = arg.position; i < positionals.size(); ++i) {
                const std::string& word = positionals[i];
                // Standard input can be read only once.
                if (files && word == "-") {
                    if (standard_input)
                        return std::unexpected(
                            positional_value_message(p, arg.value_name, repeated_standard_input_reason(p)));
                    standard_input = true;
                }
                auto v = arg.convert(word, p);
                if (!v && arg.said_in_place && positionals.size() > arg.position + 1) {
                    texts.push_back(word);
                    continue;
                }
                if (!v) return std::unexpected(positional_value_message(p, arg.value_name, v.error()));
                auto* text = std::get_if<std::string>(&*v);
                texts.push_back(text != nullptr ? std::move(*text) : word);
            }
            return argument_value{std::move(texts)};
        }
    }
    return argument_value{};
}

// Returns 0, or the error number of a write to standard output that failed.
int show_manual(const command& full, help_format format, const presentation& p, const process_io& io) {
    const auto sections = manual_of(full);
    if (format == help_format::automatic) {
        const auto term = io.environment("TERM");
        format = !term || *term == "dumb" ? help_format::plain : help_format::pager;
    }
    switch (format) {
        case help_format::plain: return io.write_out(plain_manual(sections, p.styled));
        case help_format::groff: return io.write_out(groff_manual(sections, full.name));
        case help_format::pager:
        case help_format::automatic: {
            // What a pager shows is the pager's to write; the plain text written here instead is ours.
            int failed = 0;
            show_paged(groff_manual(sections, full.name), plain_manual(sections, p.styled), io.environment,
                       [&](std::string_view text) { failed = io.write_out(text); });
            return failed;
        }
    }
    return 0;
}

// A run's error on standard error: the command's name, then the message in the box, made safe for a
// terminal. A run's message may quote its input (a file name, a decoder's view of the bytes): whatever the
// run escaped already passes unchanged, the rest is made safe here, for every tool. An empty message says
// nothing (the run has already said, or has nobody to say it to).
void say_run_error(const command& cmd, const process_io& io, std::string message) {
    if (!message.empty()) io.write_err(message_line(cmd.name, text::terminal_message(std::move(message))) + "\n");
}

// The same for a message made as it is written: laid out in the box as it comes, and handed to standard
// error in large pieces, never held whole.
void say_run_error_as_written(const command& cmd, const process_io& io, const message_composer& compose) {
    constexpr std::size_t piece = 65536;
    std::string held = std::string(cmd.name) + ": ";
    message_box_writer box(visible_width(held), message_width, [&](std::string_view text) {
        held += text;
        if (held.size() >= piece) {
            io.write_err(held);
            held.clear();
        }
    });
    compose([&](std::string_view text) { box.write(text); });
    box.finish();
    held += '\n';
    io.write_err(held);
}

// The status after the layer wrote its own product to standard output: a failed write is a failure.
int served(const command& cmd, const process_io& io, int write_error) {
    if (write_error == 0) return exit_success;
    say_run_error(cmd, io, output::standard_output_failure(write_error).error());
    return exit_cli_error;
}

int evaluate(const command& cmd, const run_function& run, const process_io& io) {
    const presentation p = presentation_of(io.environment);
    const command full = with_standard_options(cmd);
    const std::size_t help_index = cmd.arguments.size();
    const bool has_version = full.arguments.size() > help_index + 1;

    const std::vector<std::string> args =
        io.arguments.empty() ? std::vector<std::string>{}
                             : std::vector<std::string>(io.arguments.begin() + 1, io.arguments.end());
    // A shell asking what may come next: answered from the declarations, nothing else runs.
    if (!args.empty() && args[0] == completion_query) {
        return served(cmd, io, io.write_out(completion_answer(full, std::span<const std::string>(args).subspan(1), p)));
    }
    const reading r = read_arguments(full.arguments, args, p);

    const auto usage_error = [&](std::string_view message) {
        io.write_err("Usage: " + terminal_line(synopsis(full, true), p.styled) + "\n" +
                     message_line(full.name, message) + "\n");
        return exit_cli_error;
    };

    if (!r.occurrences[help_index].empty()) {
        const auto v = convert_argument(full.arguments[help_index], r.occurrences[help_index], r.positionals, p);
        if (!v) return usage_error(v.error());
        return served(cmd, io, show_manual(full, enumerated<help_format>(*v).value_or(help_format::automatic), p, io));
    }
    if (has_version && !r.occurrences[help_index + 1].empty()) {
        const auto v =
            convert_argument(full.arguments[help_index + 1], r.occurrences[help_index + 1], r.positionals, p);
        if (!v) return usage_error(v.error());
        return served(cmd, io, io.write_out(cmd.version + "\n"));
    }
    if (r.error) return usage_error(*r.error);

    values converted;
    converted.invocation_name = io.arguments.empty() ? std::string() : io.arguments.front();
    converted.report_error = [&](std::string message) { say_run_error(cmd, io, std::move(message)); };
    converted.say_error_as_written = [&](const auto& compose) { say_run_error_as_written(cmd, io, compose); };
    converted.slots.resize(cmd.arguments.size());
    const auto run_checkpoints = [&](std::size_t after) {
        for (const auto& c : cmd.checkpoints)
            if (c.after == after) c.action(converted);
    };
    run_checkpoints(0);
    for (std::size_t i = 0; i < cmd.arguments.size(); ++i) {
        auto v = convert_argument(cmd.arguments[i], r.occurrences[i], r.positionals, p);
        if (!v) return usage_error(v.error());
        converted.slots[i] = std::move(*v);
        run_checkpoints(i + 1);
    }

    auto result = run(converted);
    if (!result) {
        say_run_error(cmd, io, std::move(result.error()));
        return exit_cli_error;
    }
    return exit_success;
}

std::string lower(std::string text) {
    for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

presentation presentation_of(const environment_lookup& env) {
    presentation p;
    const auto no_color = env("NO_COLOR");
    const auto term = env("TERM");
    p.styled = (!no_color || no_color->empty()) && term && *term != "dumb";
    const auto prefixes = env("QUARVEL_LEGACY_PREFIXES");
    if (prefixes) {
        const std::string v = lower(*prefixes);
        p.legacy_prefixes = v == "true" || v == "yes" || v == "1" || v == "y";
    }
    return p;
}

command with_standard_options(const command& cmd) {
    command full = cmd;
    full.arguments.push_back(help_option());
    if (!cmd.version.empty()) full.arguments.push_back(version_option());
    return full;
}

std::string message_line(std::string_view command_name, std::string_view message) {
    std::string out(command_name);
    out += ": ";
    append_message_box(out, message, visible_width(out), message_width);
    return out;
}

int eval(const command& cmd, const run_function& run, const process_io& io) {
    std::string description;
    try {
        return evaluate(cmd, run, io);
    } catch (const std::bad_alloc&) {
        // What the tools hold grows with their input: memory refused to it is a failure of that input, said
        // as one, not a fault of the program.
        io.write_err(message_line(cmd.name, "out of memory") + "\n");
        return exit_cli_error;
    } catch (const std::exception& e) {
        description = e.what();
    } catch (...) {
        description = "unknown exception";
    }
    // The description stands on the line after the announcement, in the message box.
    io.write_err(message_line(cmd.name, "internal error, uncaught exception:\n\n" + description) + "\n");
    return exit_internal_error;
}

int eval(const command& cmd, int argc, char** argv, const run_function& run) {
    process_io io;
    for (int i = 0; i < argc; ++i) io.arguments.emplace_back(argv[i]);
    io.environment = [](const std::string& name) -> std::optional<std::string> {
        const char* v = std::getenv(name.c_str());
        if (v == nullptr) return std::nullopt;
        return std::string(v);
    };
    io.write_out = [](std::string_view text) {
        // A file-size limit on a redirected output makes the write fail with EFBIG instead of ending the
        // process. The text is whole already: nothing to gather, so the buffer holds nothing.
        const output::ignored_signal file_size_limit(SIGXFSZ);
        output::buffer out(STDOUT_FILENO, 0);
        out.write(text);
        return out.error();
    };
    // Standard error is the last place to say anything: a failed write there has nobody left to tell.
    io.write_err = [](std::string_view text) {
        output::buffer err(STDERR_FILENO, 0);
        err.write(text);
    };
    return eval(cmd, run, io);
}

}  // namespace cli
