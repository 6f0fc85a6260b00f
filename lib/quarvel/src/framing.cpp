#include <quarvel/framing.hpp>

#include <array>
#include <cstring>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <quarvel/log.hpp>

namespace quarvel {
namespace {

using prefix_bytes = std::array<unsigned char, frame_prefix_size>;

prefix_bytes encode_length(std::uint64_t length) {
    prefix_bytes prefix;
    for (std::size_t i = 0; i < prefix.size(); ++i) prefix[i] = static_cast<unsigned char>(length >> (56 - 8 * i));
    return prefix;
}

std::int64_t decode_length(const prefix_bytes& prefix) {
    std::uint64_t length = 0;
    for (unsigned char byte : prefix) length = length << 8 | byte;
    return static_cast<std::int64_t>(length);  // two's complement
}

// How a transfer of n bytes ended. It carries no text, so filling a buffer in place allocates nothing.
struct transfer {
    enum class status { done, end_of_stream, failed } how = status::done;
    int error_number = 0;  // for `failed`
};

transfer read_exactly(int fd, unsigned char* buffer, std::size_t count) {
    std::size_t offset = 0;
    while (offset < count) {
        const ssize_t got = ign_intr(::read, fd, buffer + offset, count - offset);
        if (got < 0) return {transfer::status::failed, errno};
        if (got == 0) return {transfer::status::end_of_stream};
        offset += static_cast<std::size_t>(got);
    }
    return {};
}

// strerror_r is the XSI one (returns int) or the GNU one (returns the text) depending on the platform.
[[maybe_unused]] const char* error_text(int status, const char* buffer) { return status == 0 ? buffer : "Unknown error"; }
[[maybe_unused]] const char* error_text(const char* text, const char*) { return text; }

std::string describe(int error_number) {
    char buffer[256] = "";
    return error_text(::strerror_r(error_number, buffer, sizeof buffer), buffer);
}

// Turns a failed transfer into its error text, logging system-call failures.
std::unexpected<std::string> failure(const transfer& t, std::string_view call) {
    if (t.how == transfer::status::end_of_stream) return std::unexpected(std::string("end of file"));
    if (log::enabled(log::level::error))
        log::error(log::library, "Unix error in " + std::string(call) + ": " + describe(t.error_number));
    return std::unexpected("unix error in " + std::string(call));
}

// Keeps a write to a pipe whose reader is gone from killing the process: SIGPIPE is blocked in this thread
// while the frame is written, and one raised by our own write is taken off the pending set before the
// previous mask comes back. When SIGPIPE was already pending, it is left alone (it cannot be told apart).
struct sigpipe_guard {
    bool engaged = false;
    bool already_pending = false;
    bool broken_pipe = false;
    sigset_t previous_mask{};

    void engage() {
        if (engaged) return;
        engaged = true;
        sigset_t pending;
        sigemptyset(&pending);
        ::sigpending(&pending);
        already_pending = sigismember(&pending, SIGPIPE) == 1;
        if (already_pending) return;
        sigset_t pipe_only;
        sigemptyset(&pipe_only);
        sigaddset(&pipe_only, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &pipe_only, &previous_mask);
    }

    ~sigpipe_guard() {
        if (!engaged || already_pending) return;
        const int saved_errno = errno;
        if (broken_pipe) {
            sigset_t pipe_only;
            sigemptyset(&pipe_only);
            sigaddset(&pipe_only, SIGPIPE);
            const timespec no_wait{};
            ign_intr(::sigtimedwait, &pipe_only, nullptr, &no_wait);
        }
        ::pthread_sigmask(SIG_SETMASK, &previous_mask, nullptr);
        errno = saved_errno;
    }

    sigpipe_guard() = default;
    sigpipe_guard(const sigpipe_guard&) = delete;
    sigpipe_guard& operator=(const sigpipe_guard&) = delete;
};

// The descriptor a frame goes to. It is taken to be a socket, written with send and MSG_NOSIGNAL, until
// send answers ENOTSOCK; from then on it is written with write under the SIGPIPE guard.
struct sink {
    explicit sink(int to) : fd(to) {}
    int fd;
#ifdef MSG_NOSIGNAL
    bool socket = true;
#else
    bool socket = false;
#endif
    sigpipe_guard guard;
};

transfer write_exactly(sink& to, const unsigned char* bytes, std::size_t count) {
    std::size_t offset = 0;
    while (offset < count) {
        ssize_t put;
#ifdef MSG_NOSIGNAL
        if (to.socket) {
            put = ign_intr(::send, to.fd, bytes + offset, count - offset, MSG_NOSIGNAL);
            if (put < 0 && errno == ENOTSOCK) {
                to.socket = false;
                continue;
            }
        } else
#endif
        {
            to.guard.engage();
            put = ign_intr(::write, to.fd, bytes + offset, count - offset);
            if (put < 0 && errno == EPIPE) to.guard.broken_pipe = true;
        }
        if (put < 0) return {transfer::status::failed, errno};
        offset += static_cast<std::size_t>(put);
    }
    return {};
}

}  // namespace

result<std::string> read(int fd) {
    prefix_bytes prefix;
    if (const auto t = read_exactly(fd, prefix.data(), prefix.size()); t.how != transfer::status::done)
        return failure(t, "read");

    // The prefix is checked before anything is allocated for the payload.
    const std::int64_t length = decode_length(prefix);
    if (length < 0) return std::unexpected(std::string("frame length negative"));
    if (length > max_frame_size) return std::unexpected(std::string("frame too large"));

    // One allocation of the announced size, filled in place without zeroing it first. The reserve comes
    // first because libstdc++ 12's resize_and_overwrite, when it has to allocate, hands the operation the
    // grown capacity instead of the requested size.
    const auto size = static_cast<std::size_t>(length);
    std::string payload;
    payload.reserve(size);
    transfer filled;
    payload.resize_and_overwrite(size, [&](char* buffer, std::size_t) {
        filled = read_exactly(fd, reinterpret_cast<unsigned char*>(buffer), size);
        return filled.how == transfer::status::done ? size : 0;
    });
    if (filled.how != transfer::status::done) return failure(filled, "read");
    return payload;
}

result<void> write(int fd, std::string_view payload) {
    // The reader would refuse the frame; refusing here sends nothing and leaves the stream usable.
    if (payload.size() > static_cast<std::uint64_t>(max_frame_size))
        return std::unexpected(std::string("frame too large"));

    const prefix_bytes prefix = encode_length(payload.size());
    sink to(fd);
    auto t = write_exactly(to, prefix.data(), prefix.size());
    if (t.how == transfer::status::done)
        t = write_exactly(to, reinterpret_cast<const unsigned char*>(payload.data()), payload.size());
    if (t.how != transfer::status::done) return failure(t, "write");
    return {};
}

}  // namespace quarvel
