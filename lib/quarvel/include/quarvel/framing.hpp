#pragma once
// One message at a time over a stream descriptor (a socket or a pipe): a frame is an 8-byte big-endian
// signed payload length followed by the payload. Every operation blocks until the whole frame is
// transferred or has failed; short transfers are continued and calls interrupted by a signal repeated.
//
// Descriptors belong to the caller: nothing here opens or closes them. Two readers, or two writers, must
// never use one descriptor at the same time; one reader and one writer may. After an error the position
// inside the stream is unknown and the rest of it is unusable.
//
// Error texts:
//   "end of file"           the stream ended before the whole frame arrived (nothing logged)
//   "unix error in read"    a read call failed; "Unix error in read: <strerror>" is logged at error level
//   "unix error in write"   a write call failed; "Unix error in write: <strerror>" is logged at error level
//   "frame length negative" the received prefix is below zero (nothing is allocated or read further)
//   "frame too large"       the received prefix, or the payload given to `write`, exceeds `max_frame_size`;
//                           `write` refuses before sending any byte, so the stream stays usable
// `read_cmd` also returns the errors of `asn::cmd_of_str` unchanged ("trailing bytes", ...).

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include <quarvel/model.hpp>

namespace quarvel {

// The size of the length prefix.
inline constexpr std::size_t frame_prefix_size = 8;

// The largest payload a frame may carry, in bytes (256 MiB). Commands are far smaller; the bound keeps a
// hostile or corrupt prefix from making the reader allocate without limit.
inline constexpr std::int64_t max_frame_size = std::int64_t{256} * 1024 * 1024;

// Calls `call(args...)` and returns its result; while the call fails with EINTR (it returns -1 and errno
// is EINTR) it is called again with the same arguments. Every other outcome, errno included, passes
// through unchanged. Meant for system calls that report failure as -1 and errno.
template <class Call, class... Args>
auto ign_intr(Call&& call, const Args&... args) {
    for (;;) {
        auto r = std::invoke(call, args...);
        if (!(r == -1 && errno == EINTR)) return r;
    }
}

// Reads one frame from `fd` and returns its payload.
result<std::string> read(int fd);

// Writes one frame holding `payload` to `fd`: the prefix and the payload go out in separate write calls.
// Writing to a socket or pipe whose reading end is closed fails with "unix error in write" instead of
// raising SIGPIPE (sockets are written with MSG_NOSIGNAL; for other descriptors SIGPIPE is held blocked in
// the calling thread while the frame is written and a SIGPIPE caused by the write is discarded).
result<void> write(int fd, std::string_view payload);

// Reads one frame and decodes its payload strictly as one command.
result<cmd> read_cmd(int fd);

// Encodes the command and writes it as one frame.
result<void> write_cmd(int fd, const cmd& c);

}  // namespace quarvel
