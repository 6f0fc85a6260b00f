#include "output/buffer.hpp"

#include <cerrno>
#include <sys/types.h>
#include <unistd.h>

#include <quarvel_toolkit/posix.hpp>

namespace output {

std::unexpected<std::string> standard_output_failure(int error_number) {
    if (error_number == EPIPE) return std::unexpected(std::string());
    return std::unexpected("standard output: " + quarvel::posix::describe_error(error_number));
}

// The room is taken once, before anything is written.
buffer::buffer(int fd, std::size_t capacity) : fd_(fd), capacity_(capacity) { held_.reserve(capacity_); }

buffer::buffer(std::FILE* stream, std::size_t capacity) : stream_(stream), capacity_(capacity) {
    held_.reserve(capacity_);
}

buffer::buffer(std::string& text, std::size_t capacity) : text_(&text), capacity_(capacity) {}

buffer::~buffer() {
    if (printers_stream_ != nullptr) std::fclose(printers_stream_);
    flush();
}

bool buffer::settle_stdio() {
    if (stream_ == nullptr) return true;
    errno = 0;
    if (std::fflush(stream_) == 0) return true;
    error_ = errno != 0 ? errno : EIO;
    return false;
}

std::FILE* buffer::stream() {
    if (text_ != nullptr || error_ != 0) return nullptr;
    flush();
    if (error_ != 0 || !settle_stdio()) return nullptr;
    if (printers_stream_ == nullptr) {
        // A stream of its own over a copy of the descriptor: closing it leaves the buffer's descriptor open.
        const int fd = ::dup(stream_ != nullptr ? ::fileno(stream_) : fd_);
        if (fd < 0) return nullptr;
        printers_stream_ = ::fdopen(fd, "w");
        if (printers_stream_ == nullptr) {
            ::close(fd);
            return nullptr;
        }
    }
    errno = 0;
    return printers_stream_;
}

void buffer::after_stream() {
    if (printers_stream_ == nullptr) return;
    if ((std::fflush(printers_stream_) != 0 || std::ferror(printers_stream_)) && error_ == 0)
        error_ = errno != 0 ? errno : EIO;
    std::clearerr(printers_stream_);
}

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
    if (!settle_stdio()) return;
    error_ = quarvel::posix::write_all(stream_ != nullptr ? ::fileno(stream_) : fd_, bytes);
}

quarvel::result<void> buffer::finish() {
    flush();
    if (error_ == 0) return {};
    return standard_output_failure(error_);
}

}  // namespace output
