// quarvel-dump: prints a persisted scheduler state or a captured protocol command, or writes it again in
// the current encoding (which migrates older forms).
#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>

#include <quarvel/asn.hpp>
#include <quarvel/format.hpp>
#include <quarvel/pp.hpp>
#include <quarvel/version.hpp>
#include <quarvel_internal/posix.hpp>

#include "cli/converters.hpp"
#include "cli/eval.hpp"
#include "cli/logging_options.hpp"
#include "cli/read_file.hpp"

namespace {

enum class input_kind { state, cmd };

// The dump is the tool's product, not a log message: it is written whatever the log level.
quarvel::result<void> write_standard_output(std::string_view bytes) {
    errno = 0;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
    if (std::fflush(stdout) == 0 && written) return {};
    return std::unexpected(std::string("standard output: ") + quarvel::posix::describe_error(errno != 0 ? errno : EIO));
}

// The text form as a formatter with the usual margin lays it out, followed by one line end.
template <class Print>
quarvel::result<void> print(Print&& print_value) {
    std::string text;
    {
        quarvel::formatter f(text);
        print_value(f);
        f.line_end();
    }
    return write_standard_output(text);
}

template <class T, class Encode, class Printer>
quarvel::result<void> dump_value(const quarvel::result<T>& decoded, bool reencode, Encode&& encode,
                                 Printer&& printer) {
    if (!decoded) return std::unexpected(decoded.error());
    if (reencode) return write_standard_output(encode(*decoded));
    return print([&](quarvel::formatter& f) { printer(f, *decoded); });
}

quarvel::result<void> dump(input_kind kind, const std::string& file, bool reencode) {
    const auto bytes = cli::read_whole_file(file);
    if (!bytes) return std::unexpected(bytes.error());
    switch (kind) {
        case input_kind::state:
            return dump_value(quarvel::asn::state_of_str(*bytes), reencode, quarvel::asn::state_to_str,
                              quarvel::pp_state);
        case input_kind::cmd:
            return dump_value(quarvel::asn::cmd_of_str(*bytes), reencode, quarvel::asn::cmd_to_str,
                              quarvel::pp_cmd);
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    cli::command cmd;
    cmd.name = "quarvel-dump";
    cmd.version = quarvel::version;
    cmd.description = "print and migrate scheduler states and protocol commands";

    // Declared in the order their values are validated. The log is set up right after the logging options;
    // its warnings and errors go to standard error so that standard output holds the dump alone.
    cli::declare_logging_options(cmd, cli::diagnostics_stream::standard_error);
    const auto kind = cli::add(
        cmd, cli::positional(0, "KIND",
                             "What $(i,FILE) holds: $(b,state), a persisted scheduler state, or $(b,cmd), one "
                             "protocol command. Its text form, or with $(b,--reencode) its encoding, is written "
                             "on standard output at every log level, $(b,-q) included; warnings and errors go "
                             "to standard error.",
                             cli::enumeration<input_kind>({{"state", input_kind::state}, {"cmd", input_kind::cmd}}),
                             true));
    const auto file = cli::add(
        cmd, cli::positional(1, "FILE", "The file to read, or $(b,-) for standard input.",
                             cli::existing_file_or_stdin(), true));
    const auto reencode = cli::add(
        cmd, cli::flag({"--reencode"},
                       "Write the decoded value encoded again, byte for byte in the current form, instead of "
                       "its text form. Older forms are thereby migrated; retired state items are dropped, "
                       "each with a warning."));

    return cli::eval(cmd, argc, argv, [&](const cli::values& v) {
        return dump(v.choice<input_kind>(kind).value_or(input_kind::state), v.text(file).value_or("-"),
                    v.flag(reencode));
    });
}
