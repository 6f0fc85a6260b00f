#pragma once
/// \file
/// One message at a time over a stream descriptor (a socket or a pipe): a frame is an 8-byte big-endian
/// signed payload length followed by the payload. Every operation blocks until the whole frame is
/// transferred or has failed; short transfers are continued and calls interrupted by a signal repeated.
/// A non-blocking descriptor is waited for with poll() where a call would block (EAGAIN, EWOULDBLOCK), so
/// the blocking operations block on it too and never give up halfway through a frame. Each blocking
/// operation also comes with a timeout for the whole frame. An event loop that must not block reads with
/// `frame_reader` and `read_available` and writes with `frame_writer` and `write_available` instead (at the
/// end of this header).
///
/// Over TCP, the prefix is sent with MSG_MORE, so that it leaves in one segment with the payload: a request
/// and its reply do not wait for the peer's delayed acknowledgement (Nagle's algorithm), whatever the
/// socket's options. A program that writes small messages of its own on the same socket sets TCP_NODELAY.
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
///   "timed out"              timed_out       the forms with a timeout only: the frame did not move within
///                                            it (nothing logged)

#include <quarvel/export.hpp>

#include <array>
#include <cerrno>
#include <chrono>
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
    timed_out,       ///< "timed out": the frame did not move within the caller's timeout
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
/// `read(fd, max_size)` that gives up once `timeout` has passed without the whole frame (`timed_out`, "timed
/// out"). It waits with poll() before each read, so the descriptor may be blocking or not, and a signal
/// does not extend the time. A timeout before the first byte of the frame leaves the stream usable (read
/// again later); one inside the frame does not (part of it is consumed). A timeout of 0 or less takes only
/// what has arrived already.
QUARVEL_API frame_result<std::string> read(int fd, std::int64_t max_size, std::chrono::milliseconds timeout);

/// Writes one frame holding `payload` to `fd`: the prefix and the payload go out in separate write calls
/// (on a socket the prefix with MSG_MORE). A payload above `max_size` is refused before any byte is sent. Writing to a socket or pipe whose reading
/// end is closed fails with "unix error in write" instead of raising SIGPIPE (sockets are written with
/// MSG_NOSIGNAL; for other descriptors SIGPIPE is held blocked in the calling thread while the frame is
/// written and a SIGPIPE caused by the write is discarded).
QUARVEL_API frame_result<void> write(int fd, std::string_view payload, std::int64_t max_size);
/// `write(fd, payload, max_frame_size)`, failing with the text only.
QUARVEL_API result<void> write(int fd, std::string_view payload);
/// `write(fd, payload, max_size)` that gives up once `timeout` has passed without the whole frame sent
/// (`timed_out`, "timed out"), waiting with poll() before each write. A timeout before the first byte left
/// leaves the stream usable; one inside the frame does not (the peer has part of it).
QUARVEL_API frame_result<void> write(int fd, std::string_view payload, std::int64_t max_size,
                                     std::chrono::milliseconds timeout);

/// Reads one frame of at most `max_size` bytes and decodes its payload strictly as one command.
QUARVEL_API frame_result<cmd> read_cmd(int fd, std::int64_t max_size);
/// `read_cmd(fd, max_frame_size)`, failing with the text only.
QUARVEL_API result<cmd> read_cmd(int fd);
/// `read_cmd(fd, max_size)` with a timeout for the whole frame, as `read` with one.
QUARVEL_API frame_result<cmd> read_cmd(int fd, std::int64_t max_size, std::chrono::milliseconds timeout);

/// Encodes the command and writes it as one frame; an encoding above `max_size` is refused unsent.
QUARVEL_API frame_result<void> write_cmd(int fd, const cmd& c, std::int64_t max_size);
/// `write_cmd(fd, c, max_frame_size)`, failing with the text only.
QUARVEL_API result<void> write_cmd(int fd, const cmd& c);
/// `write_cmd(fd, c, max_size)` with a timeout for the whole frame, as `write` with one.
QUARVEL_API frame_result<void> write_cmd(int fd, const cmd& c, std::int64_t max_size, std::chrono::milliseconds timeout);

// ---- For event loops --------------------------------------------------------------------------------------

// Declared ahead of the classes that befriend them; described below each class.
class frame_reader;
class frame_writer;
QUARVEL_API frame_result<std::optional<std::string>> read_available(frame_reader& reader, int fd);
QUARVEL_API frame_result<void> write_available(frame_writer& writer, int fd);

/// Assembles frames from bytes as they arrive, for a program that waits on many descriptors at once (poll,
/// epoll, an io library). Fed by `read_available`, it reads in chunks of up to `read_chunk_size` bytes and
/// hands out every whole frame of a chunk without another system call; the bytes of later frames wait in
/// the reader (`buffered`), never lost. Fed by hand (`feed`), it takes bytes up to the end of the current
/// frame only. Either way it holds at most one frame, of at most its bound, plus one chunk read ahead, and
/// a prefix's claim is not trusted: nothing is allocated for a payload before its first byte arrives, and
/// then as for `read` (the whole buffer up to 64 KiB, beyond that growing with the bytes), so a peer that
/// announces a huge frame and sends nothing costs nothing.
///
/// Its failures are those of `read(fd, max_size)`, with the same texts and kinds; after a failure the
/// reader takes no more bytes and repeats the failure (the stream is unusable, as for `read`).
/// One reader per stream, used by one thread at a time; feed it by hand or through `read_available`, not
/// both.
class frame_reader {
public:
    /// The most `read_available` asks for in one read call.
    static constexpr std::size_t read_chunk_size = 64 * 1024;

    /// A reader refusing payloads above `max_size` bytes (a negative bound counts as 0).
    QUARVEL_API explicit frame_reader(std::int64_t max_size = max_frame_size);

    /// Takes bytes from the front of `bytes`, at most up to the end of the current frame, and returns how
    /// many it took; the rest belongs to later frames: feed it again once `next` has handed the frame out.
    /// Takes nothing while a complete frame waits to be taken, while bytes read ahead by `read_available`
    /// wait (they come first), and after a failure.
    QUARVEL_API std::size_t feed(std::string_view bytes);

    /// The current frame's payload once it is complete (the reader then starts on the next frame);
    /// std::nullopt while bytes are missing; a `bad_length` failure as soon as the prefix is refused. Bytes
    /// read ahead go to the frame first, so each call hands out the next whole frame the reader holds.
    QUARVEL_API frame_result<std::optional<std::string>> next();

    /// The failure that the end of the stream means now: `end_of_file` when no byte of a frame is held
    /// (a clean hang-up) or the frame held is complete, `truncated` when the stream ended inside a frame;
    /// after a failure, that failure.
    QUARVEL_API frame_error end_of_stream() const;

    /// The bytes of the current frame held so far, its prefix included.
    std::size_t held() const { return prefix_held_ + payload_.size(); }

    /// The current frame's announced payload length, once its prefix is whole and accepted.
    std::optional<std::int64_t> announced_length() const {
        return length_ < 0 ? std::nullopt : std::optional<std::int64_t>(length_);
    }

    /// The bytes read from the descriptor beyond the current frame, kept for the frames after it.
    std::size_t buffered() const { return ahead_.size() - ahead_taken_; }

private:
    friend frame_result<std::optional<std::string>> read_available(frame_reader& reader, int fd);

    /// The bytes the current frame still needs: the rest of the prefix, then the rest of the payload (0
    /// when the frame is complete or the reader has failed).
    std::size_t missing() const {
        if (failed_) return 0;
        if (length_ < 0) return prefix_.size() - prefix_held_;
        return static_cast<std::size_t>(length_) - payload_.size();
    }
    /// `feed` without its check for bytes read ahead.
    std::size_t take(std::string_view bytes);
    /// Frees the chunk read ahead, once nothing of it is left to take.
    void release_ahead();

    std::int64_t max_size_;
    std::array<char, frame_prefix_size> prefix_{};
    std::size_t prefix_held_ = 0;
    std::int64_t length_ = -1;  ///< the payload's announced length, once the prefix is whole and accepted
    std::string payload_;
    std::optional<frame_error> failed_;
    std::string ahead_;            ///< the last chunk read, from `ahead_taken_` on not yet taken
    std::size_t ahead_taken_ = 0;
    bool plain_reads_ = false;  ///< the descriptor is not a socket: checked with poll() before each read
};

/// Reads from `fd` what it holds now and returns the next whole frame: its payload, or std::nullopt when
/// no frame is whole yet (wait for the descriptor to be readable, then call again), or a failure:
/// `end_of_file` when the peer closed between frames, `truncated` when it closed inside one,
/// `system_failure` for a failed read (logged as `read` logs it), `bad_length` for a refused prefix.
///
/// It never blocks, whatever the descriptor's mode (blocking or not; socket, pipe, FIFO): a socket is read
/// with MSG_DONTWAIT, anything else only after poll() has said, without waiting, that a read will not
/// block. It reads in chunks of up to `frame_reader::read_chunk_size` bytes (a large payload straight into
/// its buffer) until a frame is whole or the descriptor has nothing more for now. So a caller that calls
/// it until std::nullopt has taken everything the descriptor held, and edge-triggered epoll may wait for
/// the next edge. A frame already whole in the reader is handed out without any system call: call it
/// again after a frame.
QUARVEL_API frame_result<std::optional<std::string>> read_available(frame_reader& reader, int fd);

/// `read_available`, with a complete frame's payload decoded strictly as one command (a refusal is a
/// `decode_failure` with the decoder's message; the stream stays usable after it, the frame being whole).
QUARVEL_API frame_result<std::optional<cmd>> read_available_cmd(frame_reader& reader, int fd);

/// Queues frames for a descriptor that an event loop writes when it can take them. `push` copies a frame,
/// prefix and payload, to the end of one queue; `write_available` sends from its front what the descriptor
/// takes now, many frames in one call. Nothing here waits, and nothing bounds the queue: back-pressure is
/// the caller's. Compare `pending()` with a mark of your own, and stop reading requests from a peer whose
/// replies pile up until `write_available` has brought the queue down again.
/// One writer per stream, used by one thread at a time.
class frame_writer {
public:
    /// A writer refusing payloads above `max_size` bytes (a negative bound counts as 0).
    QUARVEL_API explicit frame_writer(std::int64_t max_size = max_frame_size);

    /// Queues one frame holding `payload`. A payload above the bound is refused (`bad_length`, "frame too
    /// large") and nothing is queued.
    QUARVEL_API frame_result<void> push(std::string_view payload);

    /// Encodes the command and queues it as one frame; an encoding above the bound is refused, unqueued.
    QUARVEL_API frame_result<void> push_cmd(const cmd& c);

    /// The bytes queued and not yet written, prefixes included.
    std::size_t pending() const { return queue_.size() - sent_; }

private:
    friend frame_result<void> write_available(frame_writer& writer, int fd);

    std::int64_t max_size_;
    std::string queue_;  ///< frames back to back; the first `sent_` bytes have left
    std::size_t sent_ = 0;
    std::optional<frame_error> failed_;
    bool plain_writes_ = false;  ///< the descriptor is not a socket: checked with poll() before each write
};

/// Writes to `fd` as much of the writer's queue as it takes now, continuing a frame that an earlier call
/// left halfway, and returns; what is left stays queued (`pending()`): call it again when poll() says the
/// descriptor is writable. It never blocks, whatever the descriptor's mode: a socket is written with
/// MSG_DONTWAIT, anything else only after poll() has said, without waiting, that it takes bytes (and then,
/// when it blocks, at most PIPE_BUF bytes a call). A peer that is gone gives "unix error in write" instead
/// of SIGPIPE, as for `write`. A failed write is a `system_failure`, logged as `write` logs it; the stream
/// is then unusable and every later call repeats the failure.
QUARVEL_API frame_result<void> write_available(frame_writer& writer, int fd);

}  // namespace quarvel
