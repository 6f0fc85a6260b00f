#include "capture.hpp"

#include <cerrno>
#include <string_view>
#include <unistd.h>

#include <quarvel_toolkit/posix.hpp>

namespace dump {

namespace {

std::unexpected<capture_error> frame_fault(std::string message) {
    return std::unexpected(capture_error{true, 0, std::move(message)});
}

// Where the capture ended inside a frame, from what the frame reader holds of it.
std::string cut_short(const quarvel::frame_reader& frames) {
    const std::size_t held = frames.held();
    if (held < quarvel::frame_prefix_size)
        return "end of file after " + std::to_string(held) + " of 8 length octets";
    return "end of file after " + std::to_string(held - quarvel::frame_prefix_size) + " of " +
           std::to_string(frames.announced_length().value_or(0)) + " payload octets";
}

}  // namespace

std::expected<bool, capture_error> next_frame(capture_reader& r) {
    r.payload.clear();
    r.frame_offset = r.next_offset;
    const std::uint64_t frames_before = r.frame_number;
    r.frame_number = frames_before + 1;
    for (;;) {
        auto frame = r.frames.next();
        if (!frame) return frame_fault(frame.error().text);  // a refused prefix
        if (*frame) {
            r.payload = std::move(**frame);
            r.next_offset += quarvel::frame_prefix_size + r.payload.size();
            return true;
        }
        if (r.buffered_begin == r.buffered_end) {
            if (r.before_read) r.before_read();
            const ssize_t got = quarvel::posix::read_once(r.fd, r.buffer.data(), r.buffer.size());
            if (got < 0) return std::unexpected(capture_error{false, errno, {}});
            if (got == 0) {
                if (r.frames.held() != 0) return frame_fault(cut_short(r.frames));
                r.frame_number = frames_before;  // nothing of another frame: the capture ends cleanly
                return false;
            }
            r.buffered_begin = 0;
            r.buffered_end = static_cast<std::size_t>(got);
        }
        const std::size_t taken = r.frames.feed(
            std::string_view(r.buffer.data() + r.buffered_begin, r.buffered_end - r.buffered_begin));
        r.buffered_begin += taken;
    }
}

}  // namespace dump
