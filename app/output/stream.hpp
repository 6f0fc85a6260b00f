#pragma once
// A stdio stream over a buffer (buffer.hpp), for printers that write to a FILE*: the library's formatter
// lays a text of any size out through it, in pieces, into the buffer, so the text is never held whole and
// leaves with everything else the buffer holds, by its policy for failed writes.

#include <cstdio>

#include "output/buffer.hpp"

namespace output {

// The stream lives as long as the object; it holds no bytes of its own (each write goes into the buffer at
// once), and writes to it fail once the buffer's output has failed. `file` is null when no stream could be
// made (no memory for one).
struct buffer_stream {
    std::FILE* file = nullptr;

    explicit buffer_stream(buffer& out);
    ~buffer_stream();
    buffer_stream(const buffer_stream&) = delete;
    buffer_stream& operator=(const buffer_stream&) = delete;
};

}  // namespace output
