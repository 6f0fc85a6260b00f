#include "read_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {

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

}  // namespace cli
