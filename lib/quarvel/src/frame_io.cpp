#include "frame_io.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <quarvel/framing.hpp>
#include <quarvel_toolkit/posix.hpp>

namespace quarvel::frame_io {

namespace {

#ifdef MSG_MORE
constexpr int more_flag = MSG_MORE;  // Linux: hold the bytes for the ones that follow at once
#else
constexpr int more_flag = 0;
#endif

std::size_t one_call(std::size_t size) { return std::min<std::size_t>(size, SSIZE_MAX); }

// A write to a descriptor that is not a socket, with SIGPIPE held off.
ssize_t guarded_write(channel& to, const char* data, std::size_t size) {
    to.guard.engage();
    const ssize_t put = ign_intr(::write, to.fd, data, one_call(size));
    if (put < 0 && errno == EPIPE) to.guard.broken_pipe = true;
    return put;
}

// A send while the descriptor may be a socket: its result, or nothing once the descriptor turns out not to
// be one (`plain` is then set).
std::optional<ssize_t> try_send(channel& to, const char* data, std::size_t size, int flags) {
    if (to.plain) return std::nullopt;
    const ssize_t sent = ign_intr(::send, to.fd, data, one_call(size), flags | MSG_NOSIGNAL);
    if (!(sent < 0 && errno == ENOTSOCK)) return sent;
    to.plain = true;
    return std::nullopt;
}

ssize_t would_wait() {
    errno = EAGAIN;
    return -1;
}

}  // namespace

deadline deadline_after(std::chrono::milliseconds timeout) {
    const clock::time_point now = clock::now();
    if (timeout <= std::chrono::milliseconds::zero()) return now;
    if (timeout >= std::chrono::duration_cast<std::chrono::milliseconds>(clock::time_point::max() - now))
        return std::nullopt;  // later than the clock can tell: no deadline
    return now + timeout;
}

bool would_block(int error_number) { return error_number == EAGAIN || error_number == EWOULDBLOCK; }

readiness wait_until(int fd, short events, const deadline& until) {
    for (;;) {
        int wait_ms = -1;
        if (until) {
            // Rounded up: a poll that wakes before the deadline would only be made again.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*until - clock::now()).count();
            wait_ms = static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left, 0, INT_MAX));
        }
        pollfd watched{fd, events, 0};
        const int woken = ::poll(&watched, 1, wait_ms);
        if (woken > 0) return readiness::ready;
        if (woken < 0 && errno != EINTR) return readiness::failed;
        if (woken == 0 && wait_ms == 0) return readiness::timed_out;
    }
}

void sigpipe_guard::engage() {
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

sigpipe_guard::~sigpipe_guard() {
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

ssize_t read_now(channel& from, char* into, std::size_t size) {
    if (!from.plain) {
        const ssize_t got = ign_intr(::recv, from.fd, into, one_call(size), MSG_DONTWAIT);
        if (!(got < 0 && errno == ENOTSOCK)) return got;
        from.plain = true;
    }
    // A pipe or FIFO that poll() calls readable gives what it holds without waiting, whatever its mode.
    switch (wait_until(from.fd, POLLIN, clock::time_point{})) {
    case readiness::ready: return posix::read_once(from.fd, into, size);
    case readiness::timed_out: return would_wait();
    case readiness::failed: break;
    }
    return -1;
}

ssize_t write_now(channel& to, const char* data, std::size_t size, bool more) {
    if (auto sent = try_send(to, data, size, MSG_DONTWAIT | (more ? more_flag : 0))) return *sent;
    const int flags = ::fcntl(to.fd, F_GETFL);
    if (flags < 0) return -1;
    if ((flags & O_NONBLOCK) == 0) {
        // A pipe that poll() calls writable has room for PIPE_BUF bytes; a larger write could wait.
        switch (wait_until(to.fd, POLLOUT, clock::time_point{})) {
        case readiness::ready: break;
        case readiness::timed_out: return would_wait();
        case readiness::failed: return -1;
        }
        size = std::min<std::size_t>(size, PIPE_BUF);
    }
    return guarded_write(to, data, size);
}

ssize_t write_blocking(channel& to, const char* data, std::size_t size, bool more) {
    if (auto sent = try_send(to, data, size, more ? more_flag : 0)) return *sent;
    return guarded_write(to, data, size);
}

namespace {

// Waits for `fd` to be ready again after a call that would have blocked: true when it is, else false with
// the reason in `moved`.
bool waited(transfer& moved, int fd, short events, const deadline& until) {
    switch (wait_until(fd, events, until)) {
    case readiness::ready: return true;
    case readiness::timed_out: moved.timed_out = true; return false;
    case readiness::failed: moved.error = errno; return false;
    }
    return false;
}

}  // namespace

transfer read_exactly(channel& from, char* into, std::size_t size, const deadline& until) {
    transfer moved;
    while (moved.count < size) {
        // With a deadline no call may wait: a blocking descriptor is read only once poll() has said so.
        const ssize_t got = until ? read_now(from, into + moved.count, size - moved.count)
                                  : posix::read_once(from.fd, into + moved.count, size - moved.count);
        if (got > 0) {
            moved.count += static_cast<std::size_t>(got);
            continue;
        }
        if (got == 0) return moved;  // the end of the stream
        if (!would_block(errno)) {
            moved.error = errno;
            return moved;
        }
        if (!waited(moved, from.fd, POLLIN, until)) return moved;
    }
    return moved;
}

transfer write_exactly(channel& to, const char* data, std::size_t size, bool more, const deadline& until) {
    transfer moved;
    while (moved.count < size) {
        const ssize_t put = until ? write_now(to, data + moved.count, size - moved.count, more)
                                  : write_blocking(to, data + moved.count, size - moved.count, more);
        if (put > 0) {
            moved.count += static_cast<std::size_t>(put);
            continue;
        }
        if (put == 0 || !would_block(errno)) {
            moved.error = put == 0 ? EIO : errno;  // a write that wrote nothing and said nothing
            return moved;
        }
        if (!waited(moved, to.fd, POLLOUT, until)) return moved;
    }
    return moved;
}

}  // namespace quarvel::frame_io
