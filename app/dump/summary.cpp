#include "summary.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <variant>

#include <quarvel/format.hpp>
#include <quarvel/pp.hpp>
#include <quarvel_internal/years_and_days.hpp>

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

template <class Record>
std::string summary_of(const Record& record) {
    std::string out;
    const auto line = [&](const std::string& text) {
        out += text;
        out += '\n';
    };
    // Unlike quarvel-inspect's job line, the summary is no verbatim output: its texts from the record are
    // shown by the terminal rule, so a crafted name cannot forge the lines below it.
    line(record_text::job_line({text::terminal_text(record.job.name), text::terminal_text(record.job.platform), {}}));
    line("uuid " + quarvel::uuid_text(record.uuid));
    line("started at " + quarvel::timestamp_text(record.started));
    line("stopped at " + quarvel::timestamp_text(record.finished));
    line("duration " + elapsed_text(record.started, record.finished));
    line(result_text(record.result));
    std::uint64_t console_bytes = 0;
    for (const auto& l : record.console) console_bytes += l.data.size();
    line("console " + counted(record.console.size(), "line", "lines") + ", " +
         counted(console_bytes, "byte", "bytes"));
    for (const auto& file : record.output)
        line("output " + (plain_path(file.path) ? file.path : quarvel::quoted(file.path)) + ", " +
             counted(file.data.size(), "byte", "bytes"));
    return out;
}

}  // namespace

std::string exec_summary(const quarvel::execution_record_view& record) { return summary_of(record); }

}  // namespace dump
