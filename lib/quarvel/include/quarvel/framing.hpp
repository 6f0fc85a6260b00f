#pragma once
/// \file
/// One message at a time over a stream descriptor (a socket or a pipe): a frame is an 8-byte big-endian
/// signed payload length followed by the payload. Every operation blocks until the whole frame is
/// transferred or has failed; short transfers are continued and calls interrupted by a signal repeated.
///
/// Descriptors belong to the caller: nothing here opens or closes them. Two readers, or two writers, must
/// never use one descriptor at the same time; one reader and one writer may (each thread's failures are
/// logged safely, see <quarvel/log.hpp>). After an error other than a refused outgoing frame, the position
/// inside the stream is unknown and the rest of it is unusable.
///
/// Each operation comes in two forms. The plain form (`read(fd)`) bounds frames by `max_frame_size` and
/// fails with the error text alone. The form with a bound (`read(fd, max_size)`) takes the largest payload
/// the caller accepts for this call and fails with a `frame_error`: the same text and its kind.
///
/// Error texts and kinds:
///   "end of file"            end_of_file     the stream ended before the whole frame arrived (nothing logged)
///   "unix error in read"     system_failure  a read call failed; "Unix error in read: <strerror>" is logged
///                                            at error level to the source "quarvel"
///   "unix error in write"    system_failure  a write call failed; "Unix error in write: <strerror>" is
///                                            logged likewise
///   "frame length negative"  bad_length      the received prefix is below zero (nothing is allocated or
///                                            read further)
///   "frame too large"        bad_length      the received prefix, or the payload given to `write`, exceeds
///                                            the bound; `write` refuses before sending any byte, so the
///                                            stream stays usable
///   the decoder's message    decode_failure  `read_cmd` only: `asn::cmd_of_str` refused the payload
///                                            ("trailing bytes", ...), returned unchanged, not logged

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include <quarvel/model.hpp>

namespace quarvel {

/// The size of the length prefix.
inline constexpr std::size_t frame_prefix_size = 8;

/// The prefix announcing a payload of `length` bytes: `length` in two's complement, most significant byte
/// first. Every length has its prefix, a negative one too (what a reader must refuse).
std::array<char, frame_prefix_size> frame_prefix(std::int64_t length);

/// The length a prefix announces, read back exactly as `frame_prefix` writes it: every byte sequence gives
/// a length, which may be negative or larger than the reader accepts (checking it is the caller's part).
std::int64_t read_frame_prefix(std::span<const char, frame_prefix_size> prefix);

/// The default bound on the payload of a frame, in bytes (256 MiB). Commands are far smaller; the bound
/// keeps a hostile or corrupt prefix from making the reader allocate without limit. A server facing
/// untrusted peers passes a far smaller bound to the forms that take one.
inline constexpr std::int64_t max_frame_size = std::int64_t{256} * 1024 * 1024;

/// What went wrong, for a caller that must act on it (a clean end of stream is not a failure of the peer).
enum class frame_error_kind {
    end_of_file,     ///< "end of file"
    system_failure,  ///< "unix error in read", "unix error in write"; `error_number` tells the cause
    bad_length,      ///< "frame length negative", "frame too large"
    decode_failure,  ///< the command decoder's message (read_cmd only)
};

/// A framing failure: its kind, its text and, for a failed system call, the errno.
struct frame_error {
    frame_error_kind kind = frame_error_kind::end_of_file;  ///< what went wrong
    std::string text;       ///< exactly the text the plain forms return
    int error_number = 0;   ///< the failed call's errno for `system_failure`, else 0
    friend bool operator==(const frame_error&, const frame_error&) = default;
};

/// The value, or the failure with its kind (the forms of the operations that take a bound).
template <class T>
using frame_result = std::expected<T, frame_error>;

/// Calls `call(args...)` and returns its result; while the call fails with EINTR (it returns -1 and errno
/// is EINTR) it is called again with the same arguments. Every other outcome, errno included, passes
/// through unchanged. Meant for system calls that report failure as -1 and errno.
template <class Call, class... Args>
auto ign_intr(Call&& call, const Args&... args) {
    for (;;) {
        auto r = std::invoke(call, args...);
        if (!(r == -1 && errno == EINTR)) return r;
    }
}

/// Reads one frame from `fd` and returns its payload. A prefix above `max_size` (or below zero) is refused
/// before anything is allocated for the payload; a negative `max_size` counts as 0.
frame_result<std::string> read(int fd, std::int64_t max_size);
/// `read(fd, max_frame_size)`, failing with the text only.
result<std::string> read(int fd);

/// Writes one frame holding `payload` to `fd`: the prefix and the payload go out in separate write calls.
/// A payload above `max_size` is refused before any byte is sent. Writing to a socket or pipe whose reading
/// end is closed fails with "unix error in write" instead of raising SIGPIPE (sockets are written with
/// MSG_NOSIGNAL; for other descriptors SIGPIPE is held blocked in the calling thread while the frame is
/// written and a SIGPIPE caused by the write is discarded).
frame_result<void> write(int fd, std::string_view payload, std::int64_t max_size);
/// `write(fd, payload, max_frame_size)`, failing with the text only.
result<void> write(int fd, std::string_view payload);

/// Reads one frame of at most `max_size` bytes and decodes its payload strictly as one command.
frame_result<cmd> read_cmd(int fd, std::int64_t max_size);
/// `read_cmd(fd, max_frame_size)`, failing with the text only.
result<cmd> read_cmd(int fd);

/// Encodes the command and writes it as one frame; an encoding above `max_size` is refused unsent.
frame_result<void> write_cmd(int fd, const cmd& c, std::int64_t max_size);
/// `write_cmd(fd, c, max_frame_size)`, failing with the text only.
result<void> write_cmd(int fd, const cmd& c);

}  // namespace quarvel
