#pragma once
// The tools' output: one bounded buffer that leaves in large writes, when it is full, when its owner asks
// (before it waits for more input, or before another stream speaks) and at the end, so that an output of
// any size, a value of gigabytes or a capture of a million frames, costs neither its whole text in memory
// nor a system call per piece. quarvel-dump writes its forms through one, and the log writes its messages
// through one per stream (quarvel-inspect's lines among them).
//
// One policy for failed writes: after a write fails nothing more is written, so a reader never gets an
// output with a hole in it, and the failure is kept for the end of the run, which says it. A reader that
// went away (EPIPE, with SIGPIPE ignored: ignored_signal.hpp) is nobody to tell: the run then fails without
// a message.

#include <cstddef>
#include <cstdio>
#include <expected>
#include <string>
#include <string_view>

#include <quarvel/basic.hpp>

namespace output {

// How a failed write of standard output ends a run: "" when the reader went away (EPIPE), else
// "standard output: REASON".
std::unexpected<std::string> standard_output_failure(int error_number);

class buffer {
public:
    static constexpr std::size_t default_capacity = 65536;

    // Writes to the descriptor `fd`, which stays open.
    explicit buffer(int fd, std::size_t capacity = default_capacity);
    // Writes to the descriptor of `stream`, after whatever the stream itself still buffers from elsewhere.
    explicit buffer(std::FILE* stream, std::size_t capacity = default_capacity);
    // Appends to `text` instead, at each flush.
    explicit buffer(std::string& text, std::size_t capacity = default_capacity);
    // Whatever is still held is flushed.
    ~buffer();
    buffer(const buffer&) = delete;
    buffer& operator=(const buffer&) = delete;

    void write(std::string_view bytes) {
        if (bytes.size() <= capacity_ - held_.size()) held_.append(bytes);
        else write_past_buffer(bytes);
    }
    void put(char c) {
        if (held_.size() == capacity_) flush();
        held_.push_back(c);
    }
    // Flushes first unless `size` more bytes fit beside what is held, so that pieces of that size in all,
    // written next, leave together in one write (when they fit the buffer at all).
    void keep_together(std::size_t size) {
        if (size > capacity_ - held_.size()) flush();
    }
    // Hands what is held on now.
    void flush();

    // The error number of the write that failed, 0 while all succeeded.
    int error() const { return error_; }
    // Flushes, then tells how the output went, by the policy above.
    quarvel::result<void> finish();
    // Forgets a failure: what is written from now on goes out again.
    void restart() { error_ = 0; }

    // A stdio stream over the buffer's own descriptor, for printers that write to a FILE*: the library's
    // formatter lays a text of any size out through it, in pieces, never whole. What the buffer holds leaves
    // first; call `after_stream` when the printer is done, before writing to the buffer again. The stream
    // lives as long as the buffer, made at the first call. Null for a buffer into a string, once the output
    // has failed, or when none could be made.
    std::FILE* stream();
    // Hands on what the stream still holds; a write of the stream that failed is the buffer's failure.
    void after_stream();

private:
    void write_past_buffer(std::string_view bytes);
    void hand_on(std::string_view bytes);
    // What a stdio stream under the buffer still holds was written before the buffer's bytes: it goes
    // first. False, with the failure kept, when it cannot.
    bool settle_stdio();

    int fd_ = -1;
    std::FILE* stream_ = nullptr;
    std::string* text_ = nullptr;
    std::size_t capacity_;
    std::string held_;
    int error_ = 0;
    std::FILE* printers_stream_ = nullptr;
};

}  // namespace output
