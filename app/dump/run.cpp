#include "run.hpp"

#include <unistd.h>

#include "output/buffer.hpp"
#include "der_listing.hpp"
#include "json.hpp"
#include "stream.hpp"
#include "text/terminal_text.hpp"

namespace dump {

namespace {

quarvel::result<void> refuse_a_terminal(const settings& s) {
    if (s.form == output_form::encoding && ::isatty(STDOUT_FILENO) == 1)
        return std::unexpected(std::string("refusing to write binary data to a terminal"));
    return {};
}

// "==> NAME <==" as head and tail write it, after an empty line unless it is the first.
void write_heading(output::buffer& out, const std::string& file, bool first) {
    std::string heading = first ? "==> " : "\n==> ";
    text::append_terminal_text(heading, file);
    heading += " <==\n";
    out.write(heading);
}

// {"file":NAME,"error":MESSAGE,"offset":O,"path":P}, the offset and the path where they are known.
void write_failure_line(output::buffer& out, const std::string& file, const file_fault& fault) {
    out.write("{\"file\":");
    write_json_text(out, file);
    out.write(",\"error\":");
    write_json_text(out, text::terminal_message(one_line(fault.error)));
    if (fault.offset) {
        out.write(",\"offset\":" + std::to_string(*fault.offset));
        if (!fault.path.empty()) {
            out.write(",\"path\":");
            write_json_text(out, fault.path);
        }
    }
    out.write("}\n");
}

}  // namespace

quarvel::result<void> run(const settings& s, const std::string& file) {
    if (auto refused = refuse_a_terminal(s); !refused) return refused;
    output::buffer out(STDOUT_FILENO);
    auto done = write_file(out, s, file, nullptr);
    // An output that failed is incomplete whatever the input held: that is said first, or, when the
    // reader went away, nothing is.
    if (auto written = out.finish(); !written) return written;
    // Decoders' messages may quote the input (a malformed time's text), and so may a frame's error line:
    // every error leaves by the terminal rule.
    if (!done) return std::unexpected(text::terminal_message(std::move(done.error().message)));
    return {};
}

quarvel::result<void> run(const settings& s, const std::vector<std::string>& files, const error_report& report) {
    if (files.size() == 1) return run(s, files.front());
    if (auto refused = refuse_a_terminal(s); !refused) return refused;
    output::buffer out(STDOUT_FILENO);
    bool failed = false;
    for (std::size_t i = 0; i < files.size() && out.error() == 0; ++i) {
        const std::string& file = files[i];
        if (s.form == output_form::text) write_heading(out, file, i == 0);
        auto done = write_file(out, s, file, &file);
        if (done) continue;
        // A table made of the lines loses no FILE: a listing ends with its error line already, every other
        // failure has a line of its own.
        if (s.form == output_form::json && (done.error().read || (s.kind != input_kind::der && !done.error().salvaged)))
            write_failure_line(out, file, done.error());
        // The message follows what was written before it, this FILE's frames before a bad one included.
        out.flush();
        if (out.error() != 0) break;
        failed = true;
        // A read failure names its FILE already; the name quoted here is escaped whole, line feeds too.
        report(done.error().read ? std::move(done.error().message)
                                 : text::terminal_text(file) + ": " + done.error().message);
    }
    if (auto written = out.finish(); !written) return written;
    // Each failure has been said; the status says there was one.
    if (failed) return std::unexpected(std::string());
    return {};
}

}  // namespace dump
