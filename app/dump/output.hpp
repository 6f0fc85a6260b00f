#pragma once
// quarvel-dump's standard output: one bounded buffer that leaves in large writes, when it is full, when
// the run asks (before it waits for more input) and at the end, so that a value of any size, or a capture
// of a million frames, costs neither its whole text in memory nor a system call per piece.
//
// Failed writes follow the log's policy (cli/log_setup.hpp): after one write fails nothing more is
// written, so a reader never gets an output with a hole in it, and the failure is kept for the end of the
// run. A reader that went away (EPIPE, with SIGPIPE ignored) is nobody to tell: the run then fails
// without a message, as quarvel-inspect's does.

#include <cstddef>
#include <string>
#include <string_view>

#include <quarvel/basic.hpp>

namespace dump {

class output {
public:
    static constexpr std::size_t default_capacity = 65536;

    // Writes to the descriptor `fd`, which stays open.
    explicit output(int fd, std::size_t capacity = default_capacity);
    // Appends to `text` instead, at each flush.
    explicit output(std::string& text, std::size_t capacity = default_capacity);
    // Whatever is still held is flushed.
    ~output();
    output(const output&) = delete;
    output& operator=(const output&) = delete;

    void write(std::string_view bytes) {
        if (bytes.size() <= capacity_ - held_.size()) held_.append(bytes);
        else write_past_buffer(bytes);
    }
    void put(char c) {
        if (held_.size() == capacity_) flush();
        held_.push_back(c);
    }
    // Hands what is held on now.
    void flush();

    // The error number of the write that failed, 0 while all succeeded.
    int error() const { return error_; }
    // Flushes, then tells how the output went: nothing, "" when the reader went away, else
    // "standard output: REASON".
    quarvel::result<void> finish();

private:
    void write_past_buffer(std::string_view bytes);
    void hand_on(std::string_view bytes);

    int fd_ = -1;
    std::string* text_ = nullptr;
    std::size_t capacity_;
    std::string held_;
    int error_ = 0;
};

}  // namespace dump
