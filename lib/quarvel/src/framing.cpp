#include <quarvel/framing.hpp>

#include <array>
#include <string>
#include <utility>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <quarvel/log.hpp>
#include <quarvel_internal/posix.hpp>

#include "frame_error_text.hpp"
#include "frame_rules.hpp"

namespace quarvel {

namespace frame_rules {

frame_error system_failure(std::string_view call, int error_number) {
    if (log::enabled(log::level::error))
        log::error(log::library, "Unix error in " + std::string(call) + ": " + posix::describe_error(error_number));
    return {frame_error_kind::system_failure, "unix error in " + std::string(call), error_number};
}

}  // namespace frame_rules

namespace {

bool would_block(int error_number) { return error_number == EAGAIN || error_number == EWOULDBLOCK; }

// A non-blocking descriptor given to a blocking operation is waited for here instead of failing, so the
// stream is not lost halfway through a frame. Returns 0, or the error number of a failed poll.
int wait_until_ready(int fd, short events) {
    pollfd ready{fd, events, 0};
    return ign_intr(::poll, &ready, nfds_t{1}, -1) < 0 ? errno : 0;
}

// Reads until `count` bytes have arrived, the stream ends or a read fails.
posix::read_outcome read_exactly(int fd, char* buffer, std::size_t count) {
    posix::read_outcome total;
    for (;;) {
        const auto part = posix::read_exactly(fd, buffer + total.count, count - total.count);
        total.count += part.count;
        total.error = part.error;
        if (!would_block(part.error)) return total;
        if ((total.error = wait_until_ready(fd, POLLIN)) != 0) return total;
    }
}

std::unexpected<frame_error> failed(frame_error e) { return std::unexpected(std::move(e)); }

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

// One write of at most `size` bytes: a send while the descriptor may be a socket, else a guarded write.
ssize_t write_once(sink& to, const char* data, std::size_t size) {
#ifdef MSG_NOSIGNAL
    if (to.socket) {
        const ssize_t sent = ::send(to.fd, data, size, MSG_NOSIGNAL);
        if (!(sent < 0 && errno == ENOTSOCK)) return sent;
        to.socket = false;
    }
#endif
    to.guard.engage();
    const ssize_t put = ::write(to.fd, data, size);
    if (put < 0 && errno == EPIPE) to.guard.broken_pipe = true;
    return put;
}

// Writes all of `bytes`; returns 0 or the error number of the write that failed.
int write_exactly(sink& to, std::string_view bytes) {
    return posix::write_all_with(bytes, [&to](const char* data, std::size_t size) {
        for (;;) {
            const ssize_t put = write_once(to, data, size);
            if (!(put < 0 && would_block(errno))) return put;
            if (const int error = wait_until_ready(to.fd, POLLOUT); error != 0) {
                errno = error;
                return ssize_t{-1};
            }
        }
    });
}

}  // namespace

frame_result<std::string> read(int fd, std::int64_t max_size) {
    std::array<char, frame_prefix_size> prefix;
    if (const auto got = read_exactly(fd, prefix.data(), prefix.size()); got.count < prefix.size()) {
        if (got.error != 0) return failed(frame_rules::system_failure("read", got.error));
        return failed(frame_rules::stream_ended(got.count > 0));
    }

    const std::int64_t length = read_frame_prefix(prefix);
    if (auto refused = frame_rules::refusal(length, max_size)) return failed(std::move(*refused));

    // Filled in place without zeroing; the buffer grows with the bytes that arrive, not with the claim.
    const auto size = static_cast<std::size_t>(length);
    std::string payload;
    while (payload.size() < size) {
        const std::size_t room = frame_rules::make_payload_room(payload, size);
        posix::read_outcome got;
        posix::append_in_place(payload, room, [&](char* at) {
            got = read_exactly(fd, at, room);
            return got.count;
        });
        if (got.error != 0) return failed(frame_rules::system_failure("read", got.error));
        if (got.count < room) return failed(frame_rules::stream_ended(true));
    }
    return payload;
}

frame_result<void> write(int fd, std::string_view payload, std::int64_t max_size) {
    // The reader would refuse the frame; refusing here sends nothing and leaves the stream usable. A string's
    // size is below 2^63, so it is a length that a prefix can announce.
    if (auto refused = frame_rules::refusal(static_cast<std::int64_t>(payload.size()), max_size))
        return failed(std::move(*refused));

    const auto prefix = frame_prefix(static_cast<std::int64_t>(payload.size()));  // at most max_size
    sink to(fd);
    int error = write_exactly(to, std::string_view(prefix.data(), prefix.size()));
    if (error == 0) error = write_exactly(to, payload);
    if (error != 0) return failed(frame_rules::system_failure("write", error));
    return {};
}

result<std::string> read(int fd) { return text_only(read(fd, max_frame_size)); }

result<void> write(int fd, std::string_view payload) { return text_only(write(fd, payload, max_frame_size)); }

}  // namespace quarvel
