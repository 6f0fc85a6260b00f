#include <quarvel/framing.hpp>

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <quarvel/log.hpp>
#include <quarvel_internal/posix.hpp>

#include "frame_error_text.hpp"

namespace quarvel {
namespace {

// How a transfer of n bytes ended. It carries no text, so filling a buffer in place allocates nothing.
struct transfer {
    enum class status { done, end_of_stream, failed } how = status::done;
    int error_number = 0;  // for `failed`
};

transfer read_exactly(int fd, char* buffer, std::size_t count) {
    const auto got = posix::read_exactly(fd, buffer, count);
    if (got.error != 0) return {transfer::status::failed, got.error};
    if (got.count < count) return {transfer::status::end_of_stream};
    return {};
}

// Turns a failed transfer into its error, logging system-call failures.
std::unexpected<frame_error> failure(const transfer& t, std::string_view call) {
    if (t.how == transfer::status::end_of_stream)
        return std::unexpected(frame_error{frame_error_kind::end_of_file, "end of file"});
    if (log::enabled(log::level::error))
        log::error(log::library, "Unix error in " + std::string(call) + ": " + posix::describe_error(t.error_number));
    return std::unexpected(
        frame_error{frame_error_kind::system_failure, "unix error in " + std::string(call), t.error_number});
}

std::unexpected<frame_error> bad_length(std::string text) {
    return std::unexpected(frame_error{frame_error_kind::bad_length, std::move(text)});
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

transfer write_exactly(sink& to, std::string_view bytes) {
    const int error = posix::write_all_with(bytes, [&to](const char* data, std::size_t size) {
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
    });
    if (error != 0) return {transfer::status::failed, error};
    return {};
}

}  // namespace

frame_result<std::string> read(int fd, std::int64_t max_size) {
    std::array<char, frame_prefix_size> prefix;
    if (const auto t = read_exactly(fd, prefix.data(), prefix.size()); t.how != transfer::status::done)
        return failure(t, "read");

    // The prefix is checked before anything is allocated for the payload.
    const std::int64_t length = read_frame_prefix(prefix);
    if (length < 0) return bad_length("frame length negative");
    if (length > std::max<std::int64_t>(max_size, 0)) return bad_length("frame too large");

    // One allocation of the announced size, filled in place without zeroing it first.
    const auto size = static_cast<std::size_t>(length);
    std::string payload;
    transfer filled;
    posix::append_in_place(payload, size, [&](char* buffer) {
        filled = read_exactly(fd, buffer, size);
        return filled.how == transfer::status::done ? size : 0;
    });
    if (filled.how != transfer::status::done) return failure(filled, "read");
    return payload;
}

frame_result<void> write(int fd, std::string_view payload, std::int64_t max_size) {
    // The reader would refuse the frame; refusing here sends nothing and leaves the stream usable.
    if (payload.size() > static_cast<std::uint64_t>(std::max<std::int64_t>(max_size, 0)))
        return bad_length("frame too large");

    const auto prefix = frame_prefix(static_cast<std::int64_t>(payload.size()));  // at most max_size
    sink to(fd);
    auto t = write_exactly(to, std::string_view(prefix.data(), prefix.size()));
    if (t.how == transfer::status::done) t = write_exactly(to, payload);
    if (t.how != transfer::status::done) return failure(t, "write");
    return {};
}

result<std::string> read(int fd) { return text_only(read(fd, max_frame_size)); }

result<void> write(int fd, std::string_view payload) { return text_only(write(fd, payload, max_frame_size)); }

}  // namespace quarvel
