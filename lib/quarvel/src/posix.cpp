#include <quarvel_toolkit/posix.hpp>

#include <climits>
#include <cstring>
#include <unistd.h>

#include <quarvel/framing.hpp>

namespace quarvel::posix {

namespace {

// strerror_r is the XSI one (returns int) or the GNU one (returns the text) depending on the platform.
[[maybe_unused]] const char* error_text(int status, const char* buffer) { return status == 0 ? buffer : "Unknown error"; }
[[maybe_unused]] const char* error_text(const char* text, const char*) { return text; }

}  // namespace

int write_all(int fd, std::string_view bytes) {
    return write_all_with(bytes, [fd](const char* data, std::size_t size) {
        return ::write(fd, data, std::min<std::size_t>(size, SSIZE_MAX));
    });
}

read_outcome read_exactly(int fd, char* buffer, std::size_t count) {
    read_outcome outcome;
    while (outcome.count < count) {
        const ssize_t got = read_once(fd, buffer + outcome.count, count - outcome.count);
        if (got < 0) {
            outcome.error = errno;
            break;
        }
        if (got == 0) break;
        outcome.count += static_cast<std::size_t>(got);
    }
    return outcome;
}

ssize_t read_once(int fd, char* buffer, std::size_t count) {
    return ign_intr(::read, fd, buffer, std::min<std::size_t>(count, SSIZE_MAX));
}

std::string describe_error(int error_number) {
    char buffer[256] = "";
    return error_text(::strerror_r(error_number, buffer, sizeof buffer), buffer);
}

}  // namespace quarvel::posix
