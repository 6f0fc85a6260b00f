#include "jump.hpp"

#include <cstring>

#include <quarvel/asn.hpp>
#include <quarvel/log.hpp>

#include "cli/log_setup.hpp"
#include "inspect/export.hpp"
#include "inspect/transcript.hpp"

namespace inspect {

quarvel::result<void> jump(const std::string& file, bool console, bool script,
                           const std::optional<std::string>& output, bool job) {
    auto bytes = read_whole_file(file);
    if (!bytes) return std::unexpected(std::move(bytes.error()));
    auto record = quarvel::asn::exec_of_str(*bytes);
    if (!record) return std::unexpected(std::move(record.error()));

    // The fixed order, whatever the order of the flags: job line, transcript, script, export.
    const bool printing = quarvel::log::enabled(quarvel::log::level::app);
    if (job && printing) quarvel::log::app(job_line(record->job));
    if (console && printing)
        for_each_transcript_line(record->console, record->started, record->finished, record->result,
                                 [](std::string_view line) { quarvel::log::app(line); });
    if (script && printing) quarvel::log::app(record->job.script);
    if (output) export_output(*output, record->output);
    // A line that never reached its reader (a full disk, a closed descriptor) must not pass for success.
    if (const int err = cli::log_write_error(); err != 0)
        return std::unexpected(std::string("standard output: ") + std::strerror(err));
    return {};
}

}  // namespace inspect
