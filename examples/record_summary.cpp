// Reads a job execution record and prints a short summary of it with the library's text forms.
//
//   record_summary FILE
//
// Exit status: 0 the summary is printed; 1 the file cannot be read, does not decode as a record, or the
// summary cannot be written; 2 usage. Every failure is one line on standard error:
// "record_summary: FILE: REASON".
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <expected>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include <quarvel/asn.hpp>
#include <quarvel/format.hpp>
#include <quarvel/framing.hpp>
#include <quarvel/model.hpp>
#include <quarvel/pp.hpp>

namespace {

constexpr int status_failure = 1;
constexpr int status_usage = 2;

// A name from the command line may hold control bytes; those never reach the terminal raw.
std::string shown(std::string_view name) {
    const bool plain = std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
    return plain ? std::string(name) : quarvel::quoted(name);
}

int report(std::string_view name, const std::string& reason) {
    std::fprintf(stderr, "record_summary: %s: %s\n", shown(name).c_str(), reason.c_str());
    return status_failure;
}

// The whole file, or the system's text for the call that failed.
std::expected<std::string, std::string> read_file(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::unexpected(std::strerror(errno));
    struct stat about {};
    if (::fstat(fd, &about) != 0 || S_ISDIR(about.st_mode)) {
        // Reading a directory fails only at the first read on some systems: say why up front.
        const int error = S_ISDIR(about.st_mode) ? EISDIR : errno;
        ::close(fd);  // read-only: closing loses nothing
        return std::unexpected(std::strerror(error));
    }
    std::string bytes;
    // A regular file tells its size; a pipe or a device is read until it ends.
    if (S_ISREG(about.st_mode) && about.st_size > 0) bytes.reserve(static_cast<std::size_t>(about.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = quarvel::ign_intr(::read, fd, static_cast<void*>(buffer), sizeof buffer);
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            return std::unexpected(std::strerror(error));
        }
        if (got == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: record_summary FILE\n");
        return status_usage;
    }
    const std::expected<std::string, std::string> bytes = read_file(argv[1]);
    if (!bytes) return report(argv[1], bytes.error());

    // [decode]
    const quarvel::result<quarvel::execution_record> record = quarvel::asn::exec_of_str(*bytes);
    if (!record) {
        // The decoder's message, for example "trailing bytes" or "INTEGER: redundant form".
        return report(argv[1], record.error());
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
    summary += '\n';
    // A full disk or a closed pipe shows only when the buffered text goes out.
    if (std::fwrite(summary.data(), 1, summary.size(), stdout) != summary.size() || std::fflush(stdout) != 0) {
        return report("standard output", std::strerror(errno));
    }
    // [summary]
    return 0;
}
