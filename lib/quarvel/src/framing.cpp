#include <quarvel/framing.hpp>

#include <array>
#include <string>
#include <utility>

#include <quarvel/log.hpp>
#include <quarvel_toolkit/posix.hpp>

#include "frame_error_text.hpp"
#include "frame_io.hpp"
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

std::unexpected<frame_error> failed(frame_error e) { return std::unexpected(std::move(e)); }

// The failure a transfer that fell short of its count means; `ended` is what the end of the stream means.
frame_error fell_short(const frame_io::transfer& moved, std::string_view call, frame_error ended) {
    if (moved.error != 0) return frame_rules::system_failure(call, moved.error);
    if (moved.timed_out) return frame_rules::timed_out();
    return ended;
}

frame_result<std::string> read_frame(int fd, std::int64_t max_size, const frame_io::deadline& until) {
    bool plain = false;
    frame_io::channel from{fd, plain};
    std::array<char, frame_prefix_size> prefix;
    if (const auto got = frame_io::read_exactly(from, prefix.data(), prefix.size(), until); got.count < prefix.size())
        return failed(fell_short(got, "read", frame_rules::stream_ended(got.count > 0)));

    const std::int64_t length = read_frame_prefix(prefix);
    if (auto refused = frame_rules::refusal(length, max_size)) return failed(std::move(*refused));

    // Filled in place without zeroing; the buffer grows with the bytes that arrive, not with the claim.
    const auto size = static_cast<std::size_t>(length);
    std::string payload;
    while (payload.size() < size) {
        const std::size_t room = frame_rules::make_payload_room(payload, size);
        frame_io::transfer got;
        posix::append_in_place(payload, room, [&](char* at) {
            got = frame_io::read_exactly(from, at, room, until);
            return got.count;
        });
        if (got.count < room) return failed(fell_short(got, "read", frame_rules::stream_ended(true)));
    }
    return payload;
}

frame_result<void> write_frame(int fd, std::string_view payload, std::int64_t max_size,
                               const frame_io::deadline& until) {
    // The reader would refuse the frame; refusing here sends nothing and leaves the stream usable. A string's
    // size is below 2^63, so it is a length that a prefix can announce.
    if (auto refused = frame_rules::refusal(static_cast<std::int64_t>(payload.size()), max_size))
        return failed(std::move(*refused));

    const auto prefix = frame_prefix(static_cast<std::int64_t>(payload.size()));  // at most max_size
    bool plain = false;
    frame_io::channel to{fd, plain};
    // Two writes, but one TCP segment: the prefix waits (MSG_MORE) for the payload that follows at once.
    auto sent = frame_io::write_exactly(to, prefix.data(), prefix.size(), !payload.empty(), until);
    if (sent.count == prefix.size()) sent = frame_io::write_exactly(to, payload.data(), payload.size(), false, until);
    if (sent.error != 0 || sent.timed_out) return failed(fell_short(sent, "write", {}));
    return {};
}

}  // namespace

frame_result<std::string> read(int fd, std::int64_t max_size) { return read_frame(fd, max_size, std::nullopt); }

frame_result<std::string> read(int fd, std::int64_t max_size, std::chrono::milliseconds timeout) {
    return read_frame(fd, max_size, frame_io::deadline_after(timeout));
}

frame_result<void> write(int fd, std::string_view payload, std::int64_t max_size) {
    return write_frame(fd, payload, max_size, std::nullopt);
}

frame_result<void> write(int fd, std::string_view payload, std::int64_t max_size, std::chrono::milliseconds timeout) {
    return write_frame(fd, payload, max_size, frame_io::deadline_after(timeout));
}

result<std::string> read(int fd) { return text_only(read(fd, max_frame_size)); }

result<void> write(int fd, std::string_view payload) { return text_only(write(fd, payload, max_frame_size)); }

}  // namespace quarvel
