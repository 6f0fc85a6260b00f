#include <quarvel_toolkit/sink.hpp>

#include <cerrno>

namespace quarvel {

std::unexpected<std::string> standard_output_failure(int error_number) {
    if (error_number == EPIPE) return std::unexpected(std::string());
    return std::unexpected("standard output: " + posix::describe_error(error_number));
}

// The room is taken once, before anything is written.
sink::sink(int fd, std::size_t capacity) : fd_(fd), capacity_(capacity) { held_.reserve(capacity_); }

sink::sink(std::string& text, std::size_t capacity) : text_(&text), capacity_(capacity) {}

sink::sink(std::FILE* stream, std::size_t capacity) : stream_(stream), capacity_(capacity) {
    held_.reserve(capacity_);
}

sink::~sink() { hand_on(); }

void sink::hand_on() {
    if (held_.empty()) return;
    deliver(held_);
    held_.clear();
}

void sink::flush() {
    hand_on();
    if (stream_ != nullptr && error_ == 0 && std::fflush(stream_) != 0) error_ = errno != 0 ? errno : EIO;
}

// A piece larger than the buffer goes on as it is, after what is held, instead of through the buffer.
void sink::write_past_buffer(std::string_view bytes) {
    hand_on();
    if (bytes.size() >= capacity_) deliver(bytes);
    else held_.append(bytes);
}

void sink::deliver(std::string_view bytes) {
    if (text_ != nullptr) {
        text_->append(bytes);
        return;
    }
    if (error_ != 0) return;
    if (stream_ == nullptr) {
        error_ = posix::write_all(fd_, bytes);
        return;
    }
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) error_ = errno != 0 ? errno : EIO;
}

std::expected<void, std::string> sink::finish() {
    flush();
    if (error_ == 0) return {};
    return standard_output_failure(error_);
}

}  // namespace quarvel
