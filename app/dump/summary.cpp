#include "summary.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <variant>

#include <quarvel/format.hpp>
#include <quarvel/pp.hpp>
#include <quarvel_toolkit/years_and_days.hpp>

#include "record_text/job_line.hpp"
#include "text/terminal_text.hpp"

namespace dump {

namespace {

std::string counted(std::uint64_t n, const char* singular, const char* plural) {
    return std::to_string(n) + " " + (n == 1 ? singular : plural);
}

std::string result_text(const quarvel::execution_result& result) {
    std::string text;
    {
        quarvel::formatter f(text);
        if (const auto* aborted = std::get_if<quarvel::Msg>(&result))
            quarvel::pp_execution_result(f, quarvel::Msg{text::terminal_text(aborted->text)});
        else
            quarvel::pp_execution_result(f, result);
    }
    return text;
}

bool plain_path(const std::string& path) {
    if (path.empty() || path.front() == '"') return false;
    return std::ranges::all_of(path, [](char c) { return c >= 0x20 && c <= 0x7e; });
}

}  // namespace

std::string elapsed_text(quarvel::timestamp started, quarvel::timestamp finished) {
    const bool negative = finished < started;
    const auto& from = negative ? finished : started;
    const auto& to = negative ? started : finished;
    // Both lie in years 0000 to 9999: the second count's difference cannot overflow.
    std::uint64_t seconds = static_cast<std::uint64_t>(to.seconds - from.seconds);
    std::int64_t nanoseconds = static_cast<std::int64_t>(to.nanoseconds) - from.nanoseconds;
    if (nanoseconds < 0) {
        --seconds;
        nanoseconds += 1'000'000'000;
    }
    const std::string sign = negative ? "-" : "";
    constexpr std::uint64_t max_seconds = std::numeric_limits<std::uint64_t>::max() / 1'000'000'000 - 1;
    if (seconds <= max_seconds)
        return sign + quarvel::duration_text({seconds * 1'000'000'000 + static_cast<std::uint64_t>(nanoseconds)});
    // Beyond 584 years a count of nanoseconds does not fit: years and days, as the duration form writes them.
    return sign + quarvel::years_and_days_text(seconds);
}

namespace {

// The lines of a summary, of the facts that `record` holds: for a record every one, for a salvaged record
// those that were read (`present` tells which).
struct summary_lines {
    std::string out;
    void line(const std::string& text) {
        out += text;
        out += '\n';
    }
    // Unlike quarvel-inspect's job line, the summary is no verbatim output: its texts from the record are
    // shown by the terminal rule, so a crafted name cannot forge the lines below it.
    void job(const quarvel::script_job& j) {
        line(record_text::job_line({text::terminal_text(j.name), text::terminal_text(j.platform), {}}));
    }
    template <class Lines>
    void console(const Lines& lines) {
        std::uint64_t console_bytes = 0;
        for (const auto& l : lines) console_bytes += l.data.size();
        line("console " + counted(lines.size(), "line", "lines") + ", " + counted(console_bytes, "byte", "bytes"));
    }
    template <class Files>
    void output(const Files& files) {
        for (const auto& file : files)
            line("output " + (plain_path(file.path) ? file.path : quarvel::quoted(file.path)) + ", " +
                 counted(file.data.size(), "byte", "bytes"));
    }
};

template <class Record>
std::string summary_of(const Record& record) {
    summary_lines s;
    s.job(record.job);
    s.line("uuid " + quarvel::uuid_text(record.uuid));
    s.line("started at " + quarvel::timestamp_text(record.started));
    s.line("stopped at " + quarvel::timestamp_text(record.finished));
    s.line("duration " + elapsed_text(record.started, record.finished));
    s.line(result_text(record.result));
    s.console(record.console);
    s.output(record.output);
    return std::move(s.out);
}

}  // namespace

std::string exec_summary(const quarvel::execution_record_view& record) { return summary_of(record); }

std::string salvage_summary(const quarvel::asn::salvaged_record& r) {
    summary_lines s;
    if (r.job) s.job(*r.job);
    if (r.uuid) s.line("uuid " + quarvel::uuid_text(*r.uuid));
    if (r.started) s.line("started at " + quarvel::timestamp_text(*r.started));
    if (r.finished) s.line("stopped at " + quarvel::timestamp_text(*r.finished));
    if (r.started && r.finished) s.line("duration " + elapsed_text(*r.started, *r.finished));
    if (r.result) s.line(result_text(*r.result));
    if (r.console_reached) s.console(r.console);
    if (r.output_reached) s.output(r.output);
    return std::move(s.out);
}

}  // namespace dump
