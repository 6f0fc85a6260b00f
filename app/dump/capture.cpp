#include "capture.hpp"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

#include <quarvel_internal/posix.hpp>

namespace dump {

namespace {

// Takes up to `count` octets into `to`, from the buffer first, reading the descriptor when it is empty:
// one read call at most, so whatever a pipe has delivered is used at once. Returns the count taken
// (0 at the end of the stream) or -1 with errno set.
ssize_t take_some(capture_reader& r, char* to, std::size_t count) {
    if (r.buffered_begin == r.buffered_end) {
        if (r.before_read) r.before_read();
        // Large pieces go straight to their place; small ones through the buffer.
        if (count >= r.buffer.size()) {
            const ssize_t got = quarvel::posix::read_once(r.fd, to, count);
            if (got > 0) r.position += static_cast<std::uint64_t>(got);
            return got;
        }
        const ssize_t got = quarvel::posix::read_once(r.fd, r.buffer.data(), r.buffer.size());
        if (got <= 0) return got;
        r.buffered_begin = 0;
        r.buffered_end = static_cast<std::size_t>(got);
    }
    const std::size_t n = std::min(count, r.buffered_end - r.buffered_begin);
    std::copy_n(r.buffer.data() + r.buffered_begin, n, to);
    r.buffered_begin += n;
    r.position += n;
    return static_cast<ssize_t>(n);
}

// Takes exactly `count` octets unless the stream ends first; returns the count taken, or -1 with errno.
ssize_t take_exactly(capture_reader& r, char* to, std::size_t count) {
    std::size_t taken = 0;
    while (taken < count) {
        const ssize_t got = take_some(r, to + taken, count - taken);
        if (got < 0) return -1;
        if (got == 0) break;
        taken += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(taken);
}

std::unexpected<capture_error> read_failure() { return std::unexpected(capture_error{false, errno, {}}); }

std::unexpected<capture_error> frame_fault(std::string message) {
    return std::unexpected(capture_error{true, 0, std::move(message)});
}

}  // namespace

std::expected<bool, capture_error> next_frame(capture_reader& r) {
    r.frame_offset = r.position;
    r.payload.clear();

    char prefix[quarvel::frame_prefix_size];
    const ssize_t got = take_exactly(r, prefix, sizeof prefix);
    if (got < 0) return read_failure();
    if (got == 0) return false;
    ++r.frame_number;
    if (static_cast<std::size_t>(got) < sizeof prefix)
        return frame_fault("end of file after " + std::to_string(got) + " of 8 length octets");

    const std::int64_t length = quarvel::read_frame_prefix(prefix);
    if (length < 0) return frame_fault("frame length negative");
    if (length > r.max_payload) return frame_fault("frame too large");

    // The buffer grows with what has arrived, in steps that double it, up to the announced length.
    const auto size = static_cast<std::size_t>(length);
    while (r.payload.size() < size) {
        const std::size_t have = r.payload.size();
        const std::size_t step = std::min(size - have, std::max<std::size_t>(r.buffer.size(), have));
        r.payload.resize(have + step);
        const ssize_t n = take_exactly(r, r.payload.data() + have, step);
        if (n < 0) return read_failure();
        r.payload.resize(have + static_cast<std::size_t>(n));
        if (static_cast<std::size_t>(n) < step)
            return frame_fault("end of file after " + std::to_string(r.payload.size()) + " of " +
                               std::to_string(size) + " payload octets");
    }
    return true;
}

}  // namespace dump
