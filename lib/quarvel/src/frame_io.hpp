#pragma once
// The system calls under framing: reading and writing a descriptor now or by a deadline, and writing
// without SIGPIPE. The blocking operations (framing.cpp), the reader (frame_reader.cpp) and the writer
// (frame_writer.cpp) all move their bytes through here.

#include <chrono>
#include <cstddef>
#include <optional>
#include <signal.h>
#include <sys/types.h>

namespace quarvel::frame_io {

using clock = std::chrono::steady_clock;

// When a timed operation gives up; none for the operations that wait as long as it takes.
using deadline = std::optional<clock::time_point>;

// The deadline `timeout` from now (a timeout too large to add is no deadline at all).
deadline deadline_after(std::chrono::milliseconds timeout);

bool would_block(int error_number);

// How waiting for a descriptor ended.
enum class readiness { ready, timed_out, failed };

// Waits until `fd` is ready for `events` (POLLIN, POLLOUT) or `until` has passed; with no deadline, as long
// as it takes. A signal does not move the deadline. A hang-up or an error of the descriptor counts as
// ready: the call that follows tells which. `failed` leaves errno set.
readiness wait_until(int fd, short events, const deadline& until);

// True when a read or a write of `fd` would not wait now (poll() with no timeout).
bool ready_now(int fd, short events);

// Keeps a write to a pipe whose reader is gone from killing the process: SIGPIPE is blocked in this thread
// while the guard is engaged, and one raised by our own write is taken off the pending set before the
// previous mask comes back. When SIGPIPE was already pending, it is left alone (it cannot be told apart).
struct sigpipe_guard {
    bool engaged = false;
    bool already_pending = false;
    bool broken_pipe = false;
    sigset_t previous_mask{};

    void engage();
    ~sigpipe_guard();

    sigpipe_guard() = default;
    sigpipe_guard(const sigpipe_guard&) = delete;
    sigpipe_guard& operator=(const sigpipe_guard&) = delete;
};

// How the bytes of a descriptor move. It is taken to be a socket, used with send/recv and their flags,
// until a call answers ENOTSOCK; from then on it is read and written with read and write (a write under
// the SIGPIPE guard). `plain` is kept by the reader or writer that owns the stream, so the discovery is
// made once per stream.
struct channel {
    int fd;
    bool& plain;
    sigpipe_guard guard{};
};

// One read of at most `size` bytes that never waits: -1 with EAGAIN when nothing is there now.
ssize_t read_now(channel& from, char* into, std::size_t size);

// One write that never waits: -1 with EAGAIN when the descriptor takes nothing now. A descriptor that
// blocks and is not a socket is given at most PIPE_BUF bytes, what a pipe that poll() calls writable takes
// without waiting. A socket's bytes go with MSG_MORE when `more` says that more follow at once.
ssize_t write_now(channel& to, const char* data, std::size_t size, bool more = false);

// One write that may block, as the blocking operations make it when they have no deadline (their reads are
// posix::read_once); `more` as for `write_now`.
ssize_t write_blocking(channel& to, const char* data, std::size_t size, bool more);

// How moving a run of bytes ended: `count` bytes moved; `error` is 0 or the failed call's errno; when
// neither the count is whole nor an error set, the stream ended (reading) or the deadline passed
// (`timed_out`).
struct transfer {
    std::size_t count = 0;
    int error = 0;
    bool timed_out = false;
};

// Reads `size` bytes into `into` unless the stream ends, a read fails or the deadline passes. Without a
// deadline a descriptor that blocks is read as it is, one that does not is waited for with poll().
transfer read_exactly(channel& from, char* into, std::size_t size, const deadline& until);

// Writes all of `bytes` likewise; `more` as for `write_blocking`.
transfer write_exactly(channel& to, const char* data, std::size_t size, bool more, const deadline& until);

}  // namespace quarvel::frame_io
