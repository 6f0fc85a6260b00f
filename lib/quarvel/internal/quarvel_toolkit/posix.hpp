#pragma once
// The POSIX plumbing that the library and the tools share: writing all bytes, reading exactly, appending
// to a string in place, describing an error number. Built into the library but not installed: it is not
// part of what a user of the library calls.

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace quarvel::posix {

// Hands all of `bytes` to `put`, one write-like call at a time: `put(data, size)` returns the count it
// wrote, or -1 with errno set. An interrupted call (EINTR) is made again and a partial write is continued
// from where it stopped. Returns 0, or the error number of the call that failed (EIO for a call that wrote
// nothing and reported no error).
template <class Put>
int write_all_with(std::string_view bytes, Put&& put);

// `write_all_with` over ::write to `fd`.
int write_all(int fd, std::string_view bytes);

// How `read_exactly` ended: `count` bytes arrived; `error` is 0, or the error number of the read that
// failed. `count` below the asked count with `error` 0 means the end of the file came first.
struct read_outcome {
    std::size_t count = 0;
    int error = 0;
};

// Reads into `buffer` until `count` bytes have arrived, the file ends or a read fails; interrupted reads
// (EINTR) are made again.
read_outcome read_exactly(int fd, char* buffer, std::size_t count);

// One read of at most `count` bytes, made again while it is interrupted (EINTR).
ssize_t read_once(int fd, char* buffer, std::size_t count);

// Appends at most `room` bytes to `out` without zero-filling them first: `fill(at)` writes into the `room`
// bytes at `at` and returns how many it wrote. The capacity grows at least geometrically, so repeated
// appends stay linear. The room is reserved before resize_and_overwrite is called because libstdc++ 12's
// resize_and_overwrite, when it has to allocate itself, hands the operation the grown capacity instead of
// the requested size.
template <class Fill>
void append_in_place(std::string& out, std::size_t room, Fill&& fill);

// The platform's description of an error number (what strerror gives), safe to call from any thread.
std::string describe_error(int error_number);

// ---- templates

template <class Put>
int write_all_with(std::string_view bytes, Put&& put) {
    while (!bytes.empty()) {
        errno = 0;
        const ssize_t n = put(bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return n < 0 && errno != 0 ? errno : EIO;
        }
    }
    return 0;
}

template <class Fill>
void append_in_place(std::string& out, std::size_t room, Fill&& fill) {
    const std::size_t used = out.size();
    if (out.capacity() - used < room) out.reserve(std::max(used + room, 2 * out.capacity()));
    out.resize_and_overwrite(used + room, [&](char* begin, std::size_t) {
        return used + static_cast<std::size_t>(fill(begin + used));
    });
}

}  // namespace quarvel::posix
