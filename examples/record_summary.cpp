// Reads a job execution record and prints a short summary of it with the library's text forms.
//
//   record_summary FILE
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <quarvel/asn.hpp>
#include <quarvel/format.hpp>
#include <quarvel/model.hpp>
#include <quarvel/pp.hpp>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: record_summary FILE\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.good() && !in.eof()) {
        std::fprintf(stderr, "%s: cannot read\n", argv[1]);
        return 1;
    }

    // [decode]
    const quarvel::result<quarvel::execution_record> record = quarvel::asn::exec_of_str(bytes);
    if (!record) {
        // The decoder's message, for example "trailing bytes" or "INTEGER: redundant form".
        std::fprintf(stderr, "%s: %s\n", argv[1], record.error().c_str());
        return 1;
    }
    // [decode]

    // [summary]
    std::string summary;
    {
        quarvel::formatter f(summary);
        f.text("job: ");
        quarvel::pp_script_job(f, record->job);
        f.line_end();
        f.text("execution: " + quarvel::uuid_text(record->uuid));
        f.line_end();
        f.text("started: " + quarvel::timestamp_text(record->started) + ", finished: " +
               quarvel::timestamp_text(record->finished));
        f.line_end();
        f.text("result: ");
        quarvel::pp_execution_result(f, record->result);
        f.line_end();
        // The console is stored newest line first.
        f.text("console: " + std::to_string(record->console.size()) + " lines");
        if (!record->console.empty()) {
            const quarvel::console_line& last = record->console.front();
            f.text(", the last at " + quarvel::duration_text({static_cast<std::uint64_t>(last.delta)}) + ": ");
            quarvel::pp_quoted(f, last.data);
        }
        f.line_end();
        f.text("output files:");
        f.line_end();
        quarvel::pp_data(f, record->output);
    }  // the formatter finishes into `summary` when it goes
    std::fputs(summary.c_str(), stdout);
    std::fputc('\n', stdout);
    // [summary]
    return 0;
}
