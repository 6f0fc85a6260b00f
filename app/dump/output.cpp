#include "output.hpp"

#include <cerrno>

#include <quarvel_internal/posix.hpp>

namespace dump {

output::output(int fd, std::size_t capacity) : fd_(fd), capacity_(capacity) { held_.reserve(capacity_); }

output::output(std::string& text, std::size_t capacity) : text_(&text), capacity_(capacity) { held_.reserve(capacity_); }

output::~output() { flush(); }

void output::flush() {
    if (held_.empty()) return;
    hand_on(held_);
    held_.clear();
}

// A piece larger than the buffer goes on as it is, after what is held, instead of through the buffer.
void output::write_past_buffer(std::string_view bytes) {
    flush();
    if (bytes.size() >= capacity_) hand_on(bytes);
    else held_.append(bytes);
}

void output::hand_on(std::string_view bytes) {
    if (text_ != nullptr) {
        text_->append(bytes);
        return;
    }
    if (error_ != 0) return;
    error_ = quarvel::posix::write_all(fd_, bytes);
}

quarvel::result<void> output::finish() {
    flush();
    if (error_ == 0) return {};
    if (error_ == EPIPE) return std::unexpected(std::string());
    return std::unexpected("standard output: " + quarvel::posix::describe_error(error_));
}

}  // namespace dump
