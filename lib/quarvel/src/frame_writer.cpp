#include <quarvel/framing.hpp>

#include <cerrno>
#include <utility>

#include "frame_io.hpp"
#include "frame_rules.hpp"

namespace quarvel {

namespace {

// A queue that has held this much keeps its memory only while it is in use; an empty one gives it back, so
// a burst of replies to one peer does not stay with its writer.
constexpr std::size_t kept_capacity = 256 * 1024;

}  // namespace

frame_writer::frame_writer(std::int64_t max_size) : max_size_(frame_rules::bound(max_size)) {}

frame_result<void> frame_writer::push(std::string_view payload) {
    if (auto refused = frame_rules::refusal(static_cast<std::int64_t>(payload.size()), max_size_))
        return std::unexpected(std::move(*refused));
    // What has left is dropped once it is at least half the queue, so the queue holds at most about twice
    // what is pending and each byte is moved at most once more.
    if (sent_ != 0 && sent_ >= queue_.size() / 2) {
        queue_.erase(0, sent_);
        sent_ = 0;
    }
    const auto prefix = frame_prefix(static_cast<std::int64_t>(payload.size()));
    queue_.reserve(queue_.size() + prefix.size() + payload.size());
    queue_.append(prefix.data(), prefix.size());
    queue_.append(payload);
    return {};
}

frame_result<void> write_available(frame_writer& writer, int fd) {
    if (writer.failed_) return std::unexpected(*writer.failed_);
    frame_io::channel to{fd, writer.plain_writes_};
    // The queue is one run of bytes: one call sends as many frames as the descriptor takes.
    while (writer.pending() != 0) {
        const std::size_t asked = writer.pending();
        const ssize_t put = frame_io::write_now(to, writer.queue_.data() + writer.sent_, asked);
        if (put < 0 && frame_io::would_block(errno)) break;
        if (put <= 0) {
            writer.failed_ = frame_rules::system_failure("write", put == 0 ? EIO : errno);
            return std::unexpected(*writer.failed_);
        }
        writer.sent_ += static_cast<std::size_t>(put);
        if (static_cast<std::size_t>(put) < asked && !to.plain) break;  // the socket is full for now
    }
    if (writer.pending() == 0) {
        if (writer.queue_.capacity() > kept_capacity) {
            writer.queue_ = std::string();
        } else {
            writer.queue_.clear();
        }
        writer.sent_ = 0;
    }
    return {};
}

}  // namespace quarvel
