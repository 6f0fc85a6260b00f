#pragma once
// Reading a capture of framed messages (an 8-byte big-endian signed payload length, then the payload,
// frames back to back) one frame at a time, as they travel on a connection. The frames are assembled by the
// library's frame reader, so a capture is read by the rules a peer's stream is; this side reads the
// descriptor and says where a frame went wrong. Each frame is handed over as soon as its last octet has
// arrived, so a live pipe is followed frame by frame. Memory stays bounded by the largest frame: the
// payload's buffer grows as its octets arrive (a prefix that announces more than ever comes allocates
// nothing for it).

#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <string>
#include <vector>

#include <quarvel/basic.hpp>
#include <quarvel/framing.hpp>

namespace dump {

struct capture_reader {
    int fd = -1;
    quarvel::frame_reader frames{quarvel::max_frame_size};

    std::uint64_t frame_number = 0;  // of the frame last begun, from 1
    std::uint64_t frame_offset = 0;  // the offset of its first octet in the capture
    std::string payload;             // the payload of the frame last read
    std::uint64_t next_offset = 0;   // where the frame after it begins

    // Octets read from the descriptor and not yet given to the frame reader.
    std::vector<char> buffer = std::vector<char>(64 * 1024);
    std::size_t buffered_begin = 0, buffered_end = 0;

    // Called before each read of the descriptor, which may wait for a writer that is still at work: what
    // was written of the frames before leaves first, so that a live pipe is followed frame by frame.
    std::function<void()> before_read;
};

// Why reading the next frame failed.
struct capture_error {
    bool in_frame = false;  // a fault of the frame itself (refused prefix, cut short); else a failed read
    int error_number = 0;   // for a failed read
    std::string message;    // for a frame fault: "frame length negative", "end of file after 3 of 8 ..."
};

// Reads the next frame into `reader.payload`: true when there is one, false at a clean end (the capture
// ends between two frames).
std::expected<bool, capture_error> next_frame(capture_reader& reader);

}  // namespace dump
