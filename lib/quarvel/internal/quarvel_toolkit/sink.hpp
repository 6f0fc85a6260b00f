#pragma once
// The one output of the library's formatter and of the tools: a bounded buffer that leaves in large writes,
// when it is full, when its owner asks (at a line end the system asks for, before it waits for more input,
// before another stream speaks) and at the end, so that an output of any size, a value of gigabytes or a
// capture of a million frames, costs neither its whole text in memory nor a system call per piece.
//
// Where the bytes go: a descriptor, the caller's string, or (for the formatter's public constructor that
// takes one) a stdio stream.
//
// One policy for failed writes: after a write fails nothing more is written, so a reader never gets an
// output with a hole in it, and the failure is kept for the end of the run, which says it once. A reader
// that went away (EPIPE, with SIGPIPE ignored) is nobody to tell: the run then fails without a message.

#include <cstddef>
#include <cstdio>
#include <expected>
#include <string>
#include <string_view>

#include <quarvel_toolkit/posix.hpp>

namespace quarvel {

// How a failed write of standard output ends a run: "" when the reader went away (EPIPE), else
// "standard output: REASON".
std::unexpected<std::string> standard_output_failure(int error_number);

class sink {
public:
    static constexpr std::size_t default_capacity = 65536;

    // Writes to the descriptor `fd`, which stays open.
    explicit sink(int fd, std::size_t capacity = default_capacity);
    // Appends to `text` instead, at each flush; with capacity 0 every piece is appended as it comes.
    explicit sink(std::string& text, std::size_t capacity = default_capacity);
    // Writes to `stream` with fwrite; `flush` also flushes the stream. The stream stays open.
    explicit sink(std::FILE* stream, std::size_t capacity = default_capacity);
    // Whatever is still held is handed on (a stream is not flushed).
    ~sink();
    sink(const sink&) = delete;
    sink& operator=(const sink&) = delete;

    void write(std::string_view bytes) {
        if (bytes.size() <= capacity_ - held_.size()) held_.append(bytes);
        else write_past_buffer(bytes);
    }
    void put(char c) {
        if (held_.size() < capacity_) held_.push_back(c);
        else write_past_buffer(std::string_view(&c, 1));
    }
    // Writes at most `room` bytes in place: `fill(at)` writes into the `room` bytes at `at` and returns how
    // many it wrote. In the buffer itself when they fit it, so a piece made for the output is never copied.
    template <class Fill>
    void write_in_place(std::size_t room, Fill&& fill);
    // Flushes first unless `size` more bytes fit beside what is held, so that pieces of that size in all,
    // written next, leave together in one write (when they fit the buffer at all).
    void keep_together(std::size_t size) {
        if (size > capacity_ - held_.size()) hand_on();
    }
    // Hands what is held on now.
    void hand_on();
    // Hands what is held on, and flushes a stdio stream too.
    void flush();

    // The error number of the write that failed, 0 while all succeeded.
    int error() const { return error_; }
    // Flushes, then tells how the output went, by the policy above.
    std::expected<void, std::string> finish();
    // A write to the same destination that failed elsewhere (the stdio stream over the same descriptor):
    // from now on nothing more is written, as after a failed write of the sink's own.
    void fail(int error_number) {
        if (error_ == 0) error_ = error_number;
    }
    // Forgets a failure: what is written from now on goes out again.
    void restart() { error_ = 0; }

private:
    void write_past_buffer(std::string_view bytes);
    void deliver(std::string_view bytes);

    int fd_ = -1;
    std::string* text_ = nullptr;
    std::FILE* stream_ = nullptr;
    std::size_t capacity_;
    std::string held_;
    int error_ = 0;
};

template <class Fill>
void sink::write_in_place(std::size_t room, Fill&& fill) {
    if (room > capacity_ - held_.size()) {
        hand_on();
        if (room > capacity_) {
            // Larger than the buffer: made aside, then handed on as it is.
            std::string piece;
            posix::append_in_place(piece, room, fill);
            write_past_buffer(piece);
            return;
        }
    }
    posix::append_in_place(held_, room, fill);
}

}  // namespace quarvel
