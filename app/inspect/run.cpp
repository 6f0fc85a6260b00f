#include "run.hpp"

#include <csignal>
#include <optional>

#include <quarvel/asn.hpp>
#include <quarvel_toolkit/overloaded.hpp>
#include <quarvel_toolkit/tool_decode.hpp>
#include <quarvel/log.hpp>

#include "inspect/export.hpp"
#include "inspect/transcript.hpp"
#include "log_output/log_setup.hpp"
#include "output/buffer.hpp"
#include "output/ignored_signal.hpp"
#include "record_text/job_line.hpp"
#include "text/terminal_text.hpp"

namespace inspect {

namespace {

// Prints what the flags ask for and exports the output files, from a record read in place from `bytes`.
quarvel::result<void> present(std::string_view bytes, const file_input::prefix_done& done,
                              const file_input::source_check& source, bool console, bool script,
                              const std::optional<std::string>& output, bool job,
                              const std::function<void(const cli::message_composer&)>& say_as_written) {
    // The file's pages behind the decode are given up as it goes on: the record's structure is all it
    // needs now, and what is printed or exported is read again, in order, when it is. A refusal is said
    // as the decoder words it, with no place: the reader's dump of a whole input is written as it is made.
    quarvel::asn::tool_decode_options how;
    how.locate_cut = false;
    how.consumed = &done;
    const auto record = quarvel::asn::exec_view_of_str_for_tool(bytes, how);
    if (!record) {
        const quarvel::asn::tool_refusal& refused = record.error();
        if (refused.reader && say_as_written) {
            // Hexadecimal digits and the reader's own words: nothing for the terminal rule to escape.
            say_as_written([&](const auto& put) { quarvel::der::reader_message_words(*refused.reader, bytes, put); });
            return std::unexpected(std::string());
        }
        // A decoder's message may quote the input (a malformed time's text): shown by the terminal rule.
        if (refused.reader) return std::unexpected(quarvel::der::reader_message(*refused.reader, bytes));
        return std::unexpected(text::terminal_message(refused.error.message));
    }

    // The export is never lost because of standard output: a reader that went away (SIGPIPE) or a file-size
    // limit on a redirected output (SIGXFSZ) makes the printing fail with EPIPE or EFBIG, and the export,
    // which comes last, still takes place.
    const output::ignored_signal closed_pipe(SIGPIPE);
    const output::ignored_signal file_size_limit(SIGXFSZ);

    // The fixed order, whatever the order of the flags: job line, transcript, script, export.
    const bool printing = quarvel::log::enabled(quarvel::log::level::app);
    {
        // The lines leave in large writes when standard output is no terminal, all of them before the
        // export (which may wait on the disk) and before anything else is said. They are `app` messages
        // written by the batch that holds standard output: no lock and no dispatch per line.
        log_output::output_batch batch;
        if (job && printing) batch.app(record_text::job_line(record->job));
        if (console && printing)
            for_each_transcript_line(record->console, record->started, record->finished, record->result,
                                     quarvel::overloaded{
                                         [&](std::string_view line) { batch.app(line); },
                                         [&](std::size_t room, const console_line_writer& line) {
                                             batch.app_in_place(room, line);
                                         }},
                                     [](const line_composer& compose) { log_output::write_app_message(compose); });
        if (script && printing) batch.app(record->job.script);
    }
    // A record's file that changed meanwhile fails the run (the caller says so), and no target is replaced
    // by what was read from it.
    if (output)
        if (auto exported = export_output(*output, record->output, source); !exported) return exported;
    // A line that never reached its reader (a full disk, a closed descriptor) must not pass for success.
    // When the reader went away (EPIPE) there is nobody left to tell: the run fails without a message. A
    // line written from the record's pages that were gone (EFAULT) says that the file changed.
    if (const int err = log_output::log_write_error(); err != 0) {
        if (auto unchanged = source(err); !unchanged) return unchanged;
        return output::standard_output_failure(err);
    }
    return {};
}

}  // namespace

quarvel::result<void> jump(const std::string& file, bool console, bool script,
                           const std::optional<std::string>& output, bool job) {
    return jump(file, console, script, output, job, {});
}

quarvel::result<void> jump(const std::string& file, bool console, bool script,
                           const std::optional<std::string>& output, bool job,
                           const std::function<void(const cli::message_composer&)>& say_as_written) {
    // The record is read in place from the file's bytes (a regular file is mapped, not copied): its console
    // texts and output contents are printed and exported from where they lie, so a record larger than
    // memory costs only its structure, the system dropping and reading again the file's pages as needed.
    // Everything is done while the bytes are there; the record is known valid before anything is printed.
    // The pages behind the decode are given up as it goes on when nothing reads them again (the job line
    // and the script lie at the record's start), which keeps a record's decode in a fraction of its size for
    // nothing; when the transcript or the export will read them again, only for a file large against memory.
    const std::optional<std::uint64_t> release_above =
        console || output ? std::nullopt : std::optional<std::uint64_t>(0);
    quarvel::result<void> done;
    auto read = file_input::with_whole_file(
        file,
        [&](std::string_view bytes, const file_input::prefix_done& release, const file_input::source_check& source) {
            done = present(bytes, release, source, console, script, output, job, say_as_written);
        },
        release_above);
    if (!read) return std::unexpected(std::move(read.error()));
    return done;
}

}  // namespace inspect
