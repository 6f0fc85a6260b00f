#include "jump.hpp"

#include <cerrno>
#include <csignal>
#include <optional>

#include <quarvel/asn.hpp>
#include <quarvel_internal/releasing_decode.hpp>
#include <quarvel/log.hpp>
#include <quarvel_internal/posix.hpp>

#include "cli/log_setup.hpp"
#include "cli/terminal_text.hpp"
#include "inspect/export.hpp"
#include "inspect/ignored_signal.hpp"
#include "inspect/transcript.hpp"

namespace inspect {

namespace {

// The run is the last thing the tool does: freeing a large record piece by piece (a million console
// texts) right before the process ends would only cost time. The last record decoded is therefore kept,
// reachable, until the next run or the end of the process, which returns its memory at once.
void keep_until_exit(quarvel::execution_record&& record) {
    static auto* const kept = new std::optional<quarvel::execution_record>();
    *kept = std::move(record);
}

}  // namespace

quarvel::result<void> jump(const std::string& file, bool console, bool script,
                           const std::optional<std::string>& output, bool job) {
    // The file's bytes are only looked at while they are decoded (a regular file is mapped, not copied);
    // the record owns copies of what it keeps.
    quarvel::asn::located_result<quarvel::execution_record> record = std::unexpected(quarvel::asn::decode_error{});
    // As the decode copies the contents into the record, the pages behind them are given up: the peak is
    // the record and a little, not the record and the whole file.
    auto read = cli::with_whole_file(file, [&](std::string_view bytes, const cli::prefix_done& done) {
        record = quarvel::asn::exec_of_str_releasing(bytes, done);
    });
    if (!read) return std::unexpected(std::move(read.error()));
    // A decoder's message may quote the input (a malformed time's text): shown by the terminal rule.
    if (!record) return std::unexpected(cli::terminal_message(std::move(record.error().message)));

    // The export is never lost because of standard output: a reader that went away (SIGPIPE) or a file-size
    // limit on a redirected output (SIGXFSZ) makes the printing fail with EPIPE or EFBIG, and the export,
    // which comes last, still takes place.
    const ignored_signal closed_pipe(SIGPIPE);
    const ignored_signal file_size_limit(SIGXFSZ);

    // The fixed order, whatever the order of the flags: job line, transcript, script, export.
    const bool printing = quarvel::log::enabled(quarvel::log::level::app);
    {
        // The lines leave in large writes when standard output is no terminal, all of them before the
        // export (which may wait on the disk) and before anything else is said.
        const cli::output_batch batch;
        if (job && printing) quarvel::log::app(job_line(record->job));
        if (console && printing)
            for_each_transcript_line(record->console, record->started, record->finished, record->result,
                                     [](std::string_view line) { quarvel::log::app(line); });
        if (script && printing) quarvel::log::app(record->job.script);
    }
    if (output) export_output(*output, record->output);
    keep_until_exit(std::move(*record));
    // A line that never reached its reader (a full disk, a closed descriptor) must not pass for success.
    // When the reader went away (EPIPE) there is nobody left to tell: the run fails without a message.
    if (const int err = cli::log_write_error(); err != 0)
        return std::unexpected(err == EPIPE ? std::string()
                                            : std::string("standard output: ") + quarvel::posix::describe_error(err));
    return {};
}

}  // namespace inspect
