#pragma once
/// \file
/// One message at a time over a stream descriptor (a socket or a pipe): a frame is an 8-byte big-endian
/// signed payload length followed by the payload. Every operation blocks until the whole frame is
/// transferred or has failed; short transfers are continued and calls interrupted by a signal repeated.
/// A non-blocking descriptor is waited for with poll() where a call would block (EAGAIN, EWOULDBLOCK), so
/// the blocking operations block on it too and never give up halfway through a frame. An event loop that
/// must not block reads with `frame_reader` and `read_available` instead (at the end of this header).
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
///   "end of file"            end_of_file     the stream ended cleanly, before the first byte of a frame: the
///                                            peer hung up between messages (nothing logged)
///   "end of file"            truncated       the stream ended inside a frame, in its prefix or its payload:
///                                            the peer died or broke the protocol (nothing logged)
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

#include <quarvel/export.hpp>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
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
QUARVEL_API std::array<char, frame_prefix_size> frame_prefix(std::int64_t length);

/// The length a prefix announces, read back exactly as `frame_prefix` writes it: every byte sequence gives
/// a length, which may be negative or larger than the reader accepts (checking it is the caller's part).
QUARVEL_API std::int64_t read_frame_prefix(std::span<const char, frame_prefix_size> prefix);

/// The default bound on the payload of a frame, in bytes (256 MiB). Commands are far smaller; the bound
/// keeps a hostile or corrupt prefix from making the reader allocate without limit. A server facing
/// untrusted peers passes a far smaller bound to the forms that take one.
inline constexpr std::int64_t max_frame_size = std::int64_t{256} * 1024 * 1024;

/// What went wrong, for a caller that must act on it (a clean end of stream is not a failure of the peer).
enum class frame_error_kind {
    end_of_file,     ///< "end of file": a clean end of stream at a frame boundary
    system_failure,  ///< "unix error in read", "unix error in write"; `error_number` tells the cause
    bad_length,      ///< "frame length negative", "frame too large"
    decode_failure,  ///< the command decoder's message (read_cmd only)
    truncated,       ///< "end of file": the stream ended inside a frame (prefix or payload)
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
/// before anything is allocated for the payload; a negative `max_size` counts as 0. An accepted prefix is
/// not trusted either: a payload up to 64 KiB gets its buffer at once, a larger one a buffer that grows as
/// its bytes arrive, so a peer that announces a huge frame and hangs up costs little and reads as
/// `truncated`.
QUARVEL_API frame_result<std::string> read(int fd, std::int64_t max_size);
/// `read(fd, max_frame_size)`, failing with the text only.
QUARVEL_API result<std::string> read(int fd);

/// Writes one frame holding `payload` to `fd`: the prefix and the payload go out in separate write calls.
/// A payload above `max_size` is refused before any byte is sent. Writing to a socket or pipe whose reading
/// end is closed fails with "unix error in write" instead of raising SIGPIPE (sockets are written with
/// MSG_NOSIGNAL; for other descriptors SIGPIPE is held blocked in the calling thread while the frame is
/// written and a SIGPIPE caused by the write is discarded).
QUARVEL_API frame_result<void> write(int fd, std::string_view payload, std::int64_t max_size);
/// `write(fd, payload, max_frame_size)`, failing with the text only.
QUARVEL_API result<void> write(int fd, std::string_view payload);

/// Reads one frame of at most `max_size` bytes and decodes its payload strictly as one command.
QUARVEL_API frame_result<cmd> read_cmd(int fd, std::int64_t max_size);
/// `read_cmd(fd, max_frame_size)`, failing with the text only.
QUARVEL_API result<cmd> read_cmd(int fd);

/// Encodes the command and writes it as one frame; an encoding above `max_size` is refused unsent.
QUARVEL_API frame_result<void> write_cmd(int fd, const cmd& c, std::int64_t max_size);
/// `write_cmd(fd, c, max_frame_size)`, failing with the text only.
QUARVEL_API result<void> write_cmd(int fd, const cmd& c);

// ---- For event loops --------------------------------------------------------------------------------------

// Declared ahead of the class that befriends it; described below the class.
class frame_reader;
QUARVEL_API frame_result<std::optional<std::string>> read_available(frame_reader& reader, int fd);

/// Assembles frames from bytes as they arrive, for a program that waits on many descriptors at once (poll,
/// epoll, an io library): it never blocks, never consumes a byte of the next frame, and holds at most one
/// frame, of at most its bound. A prefix's claim is not trusted: nothing is allocated for a payload before
/// its first byte arrives, and then as for `read` (the whole buffer up to 64 KiB, beyond that growing with
/// the bytes), so a peer that announces a huge frame and sends nothing costs nothing.
///
/// Its failures are those of `read(fd, max_size)`, with the same texts and kinds; after a failure the
/// reader takes no more bytes and repeats the failure (the stream is unusable, as for `read`).
/// One reader per stream, used by one thread at a time.
class QUARVEL_API frame_reader {
public:
    /// A reader refusing payloads above `max_size` bytes (a negative bound counts as 0).
    explicit frame_reader(std::int64_t max_size = max_frame_size);

    /// Takes bytes from the front of `bytes`, at most up to the end of the current frame, and returns how
    /// many it took; the rest belongs to later frames: feed it again once `next` has handed the frame out.
    /// Takes nothing while a complete frame waits to be taken, and nothing after a failure.
    std::size_t feed(std::string_view bytes);

    /// The current frame's payload once it is complete (the reader then starts on the next frame);
    /// std::nullopt while bytes are missing; a `bad_length` failure as soon as the prefix is refused.
    frame_result<std::optional<std::string>> next();

    /// The failure that the end of the stream means now: `end_of_file` when no byte of a frame is held
    /// (a clean hang-up) or the frame held is complete, `truncated` when the stream ended inside a frame;
    /// after a failure, that failure.
    frame_error end_of_stream() const;

    /// The bytes of the current frame held so far, its prefix included.
    std::size_t held() const;

private:
    friend frame_result<std::optional<std::string>> read_available(frame_reader& reader, int fd);

    /// The bytes the current frame still needs: the rest of the prefix, then the rest of the payload (0
    /// when the frame is complete or the reader has failed).
    std::size_t missing() const;

    std::int64_t max_size_;
    std::array<char, frame_prefix_size> prefix_{};
    std::size_t prefix_held_ = 0;
    std::int64_t length_ = -1;  ///< the payload's announced length, once the prefix is whole and accepted
    std::string payload_;
    std::optional<frame_error> failed_;
};

/// Reads from `fd`, which should be non-blocking (or reported readable by poll), what the reader's current
/// frame still needs, never more, and returns the frame once it is complete: its payload; std::nullopt when
/// the descriptor has nothing more for now (EAGAIN, EWOULDBLOCK) and the frame is still incomplete; or a
/// failure: `end_of_file` when the peer closed between frames, `truncated` when it closed inside one,
/// `system_failure` for a failed read (logged as `read` logs it), `bad_length` for a refused prefix.
/// Call it again after a frame: more may be waiting.
QUARVEL_API frame_result<std::optional<std::string>> read_available(frame_reader& reader, int fd);

/// `read_available`, with a complete frame's payload decoded strictly as one command (a refusal is a
/// `decode_failure` with the decoder's message; the stream stays usable after it, the frame being whole).
QUARVEL_API frame_result<std::optional<cmd>> read_available_cmd(frame_reader& reader, int fd);

}  // namespace quarvel
