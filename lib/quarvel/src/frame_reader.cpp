#include <quarvel/framing.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <quarvel_internal/posix.hpp>

#include "frame_rules.hpp"

namespace quarvel {

frame_reader::frame_reader(std::int64_t max_size) : max_size_(frame_rules::bound(max_size)) {}

std::size_t frame_reader::feed(std::string_view bytes) {
    if (failed_ || missing() == 0) return 0;
    const std::size_t offered = bytes.size();

    if (prefix_held_ < prefix_.size()) {
        const std::size_t taken = std::min(prefix_.size() - prefix_held_, bytes.size());
        std::memcpy(prefix_.data() + prefix_held_, bytes.data(), taken);
        prefix_held_ += taken;
        bytes.remove_prefix(taken);
        if (prefix_held_ < prefix_.size()) return taken;
        // The claim is judged as soon as it is whole, before anything is allocated for it.
        const std::int64_t length = read_frame_prefix(prefix_);
        if (auto refused = frame_rules::refusal(length, max_size_)) {
            failed_ = std::move(refused);
            return taken;
        }
        length_ = length;
    }

    const auto length = static_cast<std::size_t>(length_);
    while (!bytes.empty() && payload_.size() < length) {
        const std::size_t taken = std::min(frame_rules::make_payload_room(payload_, length), bytes.size());
        posix::append_in_place(payload_, taken, [&](char* at) {
            std::memcpy(at, bytes.data(), taken);
            return taken;
        });
        bytes.remove_prefix(taken);
    }
    return offered - bytes.size();
}

frame_result<std::optional<std::string>> frame_reader::next() {
    if (failed_) return std::unexpected(*failed_);
    if (missing() != 0) return std::nullopt;
    prefix_held_ = 0;
    length_ = -1;
    return std::exchange(payload_, std::string());
}

frame_error frame_reader::end_of_stream() const {
    if (failed_) return *failed_;
    // A whole frame waiting to be taken ended at a boundary like an empty reader.
    return frame_rules::stream_ended(missing() != 0 && held() != 0);
}

std::size_t frame_reader::held() const { return prefix_held_ + payload_.size(); }

std::size_t frame_reader::missing() const {
    if (failed_) return 0;
    if (length_ < 0) return prefix_.size() - prefix_held_;
    return static_cast<std::size_t>(length_) - payload_.size();
}

frame_result<std::optional<std::string>> read_available(frame_reader& reader, int fd) {
    // Bounded reads through the stack: a claim is paid for only as its bytes arrive, and a read never asks
    // for more than the current frame needs, so the next frame's bytes stay in the descriptor.
    char chunk[16 * 1024];
    for (;;) {
        auto frame = reader.next();
        if (!frame || *frame) return frame;
        const ssize_t got = posix::read_once(fd, chunk, std::min(reader.missing(), sizeof chunk));
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) return std::nullopt;
            return std::unexpected(frame_rules::system_failure("read", errno));
        }
        if (got == 0) return std::unexpected(reader.end_of_stream());
        reader.feed(std::string_view(chunk, static_cast<std::size_t>(got)));
    }
}

}  // namespace quarvel
