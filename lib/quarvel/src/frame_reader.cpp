#include <quarvel/framing.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <quarvel_toolkit/posix.hpp>

#include "frame_io.hpp"
#include "frame_rules.hpp"

namespace quarvel {

frame_reader::frame_reader(std::int64_t max_size) : max_size_(frame_rules::bound(max_size)) {}

std::size_t frame_reader::feed(std::string_view bytes) { return buffered() != 0 ? 0 : take(bytes); }

std::size_t frame_reader::take(std::string_view bytes) {
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
    if (buffered() != 0 && missing() != 0) {
        // The bytes read ahead belong to this frame first, up to its end.
        ahead_taken_ += take(std::string_view(ahead_).substr(ahead_taken_));
        if (buffered() == 0) release_ahead();
    }
    if (failed_) return std::unexpected(*failed_);
    if (missing() != 0) return std::nullopt;
    prefix_held_ = 0;
    length_ = -1;
    return std::exchange(payload_, std::string());
}

void frame_reader::release_ahead() {
    // A drained chunk is given back: an idle peer's reader holds nothing but its current frame.
    ahead_ = std::string();
    ahead_taken_ = 0;
}

frame_error frame_reader::end_of_stream() const {
    if (failed_) return *failed_;
    // A whole frame waiting to be taken ended at a boundary like an empty reader; bytes read ahead are the
    // start of a later frame.
    return frame_rules::stream_ended((missing() != 0 && held() != 0) || buffered() != 0);
}

frame_result<std::optional<std::string>> read_available(frame_reader& reader, int fd) {
    frame_io::channel from{fd, reader.plain_reads_};
    for (;;) {
        auto frame = reader.next();
        if (!frame || *frame) return frame;
        // No frame is whole and nothing is read ahead: the current frame needs bytes from the descriptor, read
        // until it says it has no more for now (EAGAIN), which a read that never waits can ask safely. A
        // payload larger than a chunk is read straight into its buffer (which grows only as bytes arrive);
        // anything else a chunk at a time, which may hold many frames.
        std::size_t asked = 0;
        ssize_t got = 0;
        const auto read_into = [&](char* at) {
            got = frame_io::read_now(from, at, asked);
            return got > 0 ? static_cast<std::size_t>(got) : 0;
        };
        if (reader.length_ >= 0 && reader.missing() >= frame_reader::read_chunk_size) {
            asked = frame_rules::make_payload_room(reader.payload_, static_cast<std::size_t>(reader.length_));
            posix::append_in_place(reader.payload_, asked, read_into);
        } else {
            asked = frame_reader::read_chunk_size;
            posix::append_in_place(reader.ahead_, asked, read_into);
        }
        if (got <= 0) {
            const int error = errno;
            reader.release_ahead();  // nothing was read into it
            if (got == 0) return std::unexpected(reader.end_of_stream());
            if (frame_io::would_block(error)) return std::nullopt;
            return std::unexpected(frame_rules::system_failure("read", error));
        }
    }
}

}  // namespace quarvel
