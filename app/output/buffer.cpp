#include "output/buffer.hpp"

#include <cerrno>

#include <quarvel_internal/posix.hpp>

namespace output {

std::unexpected<std::string> standard_output_failure(int error_number) {
    if (error_number == EPIPE) return std::unexpected(std::string());
    return std::unexpected("standard output: " + quarvel::posix::describe_error(error_number));
}

buffer::buffer(int fd, std::size_t capacity) : fd_(fd), capacity_(capacity) {}

buffer::buffer(std::FILE* stream, std::size_t capacity) : stream_(stream), capacity_(capacity) {}

buffer::buffer(std::string& text, std::size_t capacity) : text_(&text), capacity_(capacity) {}

buffer::~buffer() { flush(); }

void buffer::flush() {
    if (held_.empty()) return;
    hand_on(held_);
    held_.clear();
}

// A piece larger than the buffer goes on as it is, after what is held, instead of through the buffer.
void buffer::write_past_buffer(std::string_view bytes) {
    flush();
    if (bytes.size() >= capacity_) hand_on(bytes);
    else held_.append(bytes);
}

void buffer::hand_on(std::string_view bytes) {
    if (text_ != nullptr) {
        text_->append(bytes);
        return;
    }
    if (error_ != 0) return;
    if (stream_ != nullptr) {
        // What the stream buffers was written before these bytes: it goes first.
        errno = 0;
        if (std::fflush(stream_) != 0) {
            error_ = errno != 0 ? errno : EIO;
            return;
        }
        error_ = quarvel::posix::write_all(::fileno(stream_), bytes);
        return;
    }
    error_ = quarvel::posix::write_all(fd_, bytes);
}

quarvel::result<void> buffer::finish() {
    flush();
    if (error_ == 0) return {};
    return standard_output_failure(error_);
}

}  // namespace output
