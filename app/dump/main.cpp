// quarvel-dump: prints a job execution record's summary, a persisted scheduler state or a protocol command
// (one, or each frame of a captured connection) as text or JSON, or writes it again in the current
// encoding (which migrates older forms); of one file or of several in turn.
#include <csignal>
#include <string>

#include <quarvel/version.hpp>

#include "cli/converters.hpp"
#include "cli/eval.hpp"
#include "log_output/logging_options.hpp"
#include "manual.hpp"
#include "output/ignored_signal.hpp"
#include "run.hpp"

int main(int argc, char** argv) {
    cli::command cmd;
    cmd.name = "quarvel-dump";
    cmd.version = quarvel::version;
    cmd.description = "print and migrate job execution records, scheduler states and protocol commands";
    cmd.sections = dump::manual_sections();

    // Declared in the order their values are validated. The log is set up right after the logging options;
    // its warnings and errors go to standard error so that standard output holds the dump alone.
    log_output::declare_logging_options(cmd, log_output::diagnostics_stream::standard_error);
    const auto kind = cli::add(
        cmd, cli::positional(0, "KIND",
                             "What each $(i,FILE) holds: $(b,state), a persisted scheduler state; $(b,cmd), one "
                             "protocol command; $(b,exec), a job execution record, of which a summary is "
                             "printed, one fact per line; or $(b,der), any DER, whose elements are listed (see "
                             "DER LISTING). Its text form, or with $(b,--json) its JSON form, or "
                             "with $(b,--reencode) its encoding, is written on standard output at every log "
                             "level, $(b,-q) included; warnings and errors go to standard error. In the text "
                             "forms, what a terminal would act on in a text of the input (a control byte, an "
                             "escape sequence, a line break, a byte that is no UTF-8, a bidirectional control) "
                             "is written as a visible escape that begins with a backslash.",
                             cli::enumeration<dump::input_kind>({{"state", dump::input_kind::state},
                                                                 {"cmd", dump::input_kind::cmd},
                                                                 {"exec", dump::input_kind::exec},
                                                                 {"der", dump::input_kind::der}}),
                             true));
    cli::argument files = cli::repeatable_positional(
                 1, "FILE",
                 "The file to read, or $(b,-) for standard input (once at most). Several are read in the order "
                 "given, in one run: the text of each follows a line $(b,==>) $(i,NAME) $(b,<==), after an empty "
                 "line but for the first; with $(b,--json) each line carries the $(b,file) (see JSON OUTPUT); "
                 "with $(b,--reencode), which then needs $(b,--framed), the frames of all follow each other as "
                 "one capture. A $(i,FILE) that does not exist, cannot be read or decoded, or a bad frame, is "
                 "said on standard error as $(i,NAME)$(b,:) $(i,MESSAGE) after what came before it, and the next "
                 "one follows; the status is then 124. With $(b,--json) such a $(i,FILE) also has its line in "
                 "its place (see JSON OUTPUT).",
                 cli::existing_file_or_stdin(), true);
    // One FILE that does not exist is a mistake on the command line; one among several is said in its
    // place, and the others are still read.
    files.said_in_place = true;
    const auto file = cli::add(cmd, std::move(files));
    const auto reencode = cli::add(
        cmd, cli::flag({"--reencode"},
                       "Write the decoded value encoded again, byte for byte in the current form, instead of "
                       "its text form. Older forms are thereby migrated; retired state items are dropped, "
                       "each with a warning. Refused when standard output is a terminal."));
    const auto framed = cli::add(
        cmd, cli::flag({"--framed"},
                       "$(i,FILE) is a capture of framed messages as they travel on a connection: each an "
                       "8-byte big-endian signed length, then that many octets holding one value of "
                       "$(i,KIND). Each value is written as soon as its frame is complete, after a line "
                       "$(b,frame) $(i,N) $(b,at offset) $(i,O) ($(i,N) from 1, $(i,O) in octets); with "
                       "$(b,--json) one JSON object per line, with $(b,--reencode) the frames again. A bad "
                       "frame ends its $(i,FILE) after everything before it was written."));
    const auto json = cli::add(
        cmd, cli::flag({"--json"},
                       "Write the decoded value as one line of JSON instead of its text form (see JSON "
                       "OUTPUT)."));
    const auto salvage = cli::add(
        cmd, cli::flag({"--salvage"},
                       "With $(b,exec), a record that does not decode (cut short by a crash, a full disk or a "
                       "killed copy, or broken in its middle) is written as far as it holds whole before its "
                       "fault: the job, the uuid, the console lines and output files that are whole, the times "
                       "and the result where they are there, in its text or JSON form; then the place of the "
                       "fault, as a line $(b,cut at offset) $(i,O) ($(i,PATH)), in JSON as a member "
                       "$(b,\"cut\":{\"offset\":)$(i,O)$(b,,\"path\":)$(i,PATH)$(b,}) of the record's object. "
                       "The fault is said on standard error as without $(b,--salvage), and the status stays "
                       "124. A record that decodes is written as without it."));
    const auto contents = cli::add(
        cmd, cli::flag({"--contents"},
                       "With $(b,--json), output files carry their contents as $(b,data)."));

    return cli::eval(cmd, argc, argv, [&](const cli::values& v) -> quarvel::result<void> {
        if (v.flag(json) && v.flag(reencode))
            return std::unexpected(std::string("options '--json' and '--reencode' cannot be present at the same time"));
        if (v.flag(contents) && !v.flag(json))
            return std::unexpected(std::string("option '--contents' needs '--json'"));
        if (v.flag(salvage) &&
            (v.choice<dump::input_kind>(kind) != dump::input_kind::exec || v.flag(reencode) || v.flag(framed)))
            return std::unexpected(std::string("option '--salvage' needs KIND 'exec', without '--reencode' or '--framed'"));
        if (v.flag(reencode) && v.choice<dump::input_kind>(kind) == dump::input_kind::der)
            return std::unexpected(std::string("option '--reencode' cannot be used with KIND 'der'"));
        const auto files = v.texts(file);
        // Encodings one after the other are no value of KIND; frames one after the other are a capture.
        if (files.size() > 1 && v.flag(reencode) && !v.flag(framed))
            return std::unexpected(std::string("option '--reencode' takes one FILE, or several with '--framed'"));
        dump::settings s;
        s.kind = v.choice<dump::input_kind>(kind).value_or(dump::input_kind::state);
        s.form = v.flag(reencode) ? dump::output_form::encoding
                 : v.flag(json)   ? dump::output_form::json
                                  : dump::output_form::text;
        s.framed = v.flag(framed);
        s.contents = v.flag(contents);
        s.salvage = v.flag(salvage);
        // A reader that goes away (`| head -c1`) makes the writes fail with EPIPE instead of ending the
        // process; the run then stops writing and ends with status 124 and no message, as quarvel-inspect's
        // does: there is nobody left to tell. A file-size limit on a redirected output (`ulimit -f`) makes
        // them fail with EFBIG instead of SIGXFSZ ending the process: the run says "standard output: File
        // too large" and ends with 124, as quarvel-inspect's does.
        const output::ignored_signal closed_pipe(SIGPIPE);
        const output::ignored_signal file_size_limit(SIGXFSZ);
        return dump::run(s, files, v.report_error);
    });
}
