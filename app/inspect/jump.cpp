#include "jump.hpp"

#include <quarvel/asn.hpp>
#include <quarvel/log.hpp>

#include "inspect/export.hpp"
#include "inspect/transcript.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace inspect {

namespace {

// NAME as it appears in messages: runs of "/" collapsed to one.
std::string collapse_slashes(const std::string& name) {
    std::string out;
    out.reserve(name.size());
    for (char c : name)
        if (c != '/' || out.empty() || out.back() != '/') out += c;
    return out;
}

std::string failure(const std::string& name, int err) { return collapse_slashes(name) + ": " + std::strerror(err); }

}  // namespace

quarvel::result<std::string> read_whole_file(const std::string& name) {
    const bool is_stdin = name == "-";
    const int fd = is_stdin ? STDIN_FILENO : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::unexpected(failure(name, errno));

    std::string bytes;
    struct stat st{};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(st.st_size));  // a hint only: the file may change size

    std::size_t used = 0;
    int err = 0;
    for (;;) {
        if (bytes.size() - used < 65536) bytes.resize(std::max<std::size_t>(bytes.capacity(), used + 65536));
        const ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
        if (n > 0) {
            used += static_cast<std::size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            err = errno;
            break;
        }
    }
    if (!is_stdin) ::close(fd);
    if (err != 0) return std::unexpected(failure(name, err));
    bytes.resize(used);
    return bytes;
}

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
    return {};
}

}  // namespace inspect
