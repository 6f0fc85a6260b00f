#pragma once
// The rules that the blocking reader (framing.cpp), the incremental one (frame_reader.cpp) and the writers share: which
// prefix is refused, how a payload's buffer grows, and how each failure reads.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <quarvel/framing.hpp>

namespace quarvel::frame_rules {

// Payloads up to this size get their whole buffer at once. Commands are far smaller, so the usual frame
// costs one allocation of exactly its size; and a peer whose prefix lies costs no more than this before
// its bytes have to arrive. Larger payloads grow with what has arrived.
inline constexpr std::size_t eager_payload_size = 64 * 1024;

// The bound a reader applies: a negative one counts as 0.
inline std::int64_t bound(std::int64_t max_size) { return std::max<std::int64_t>(max_size, 0); }

// The refusal of a frame's length: an announced one, checked before anything is allocated for the payload,
// and a payload about to be written.
inline std::optional<frame_error> refusal(std::int64_t length, std::int64_t max_size) {
    if (length < 0) return frame_error{frame_error_kind::bad_length, "frame length negative"};
    // A frame that could not even be addressed is too large for any buffer here.
    constexpr bool addressable_always = sizeof(std::size_t) >= sizeof(std::int64_t);
    if (length > bound(max_size) || (!addressable_always && static_cast<std::uint64_t>(length) > SIZE_MAX))
        return frame_error{frame_error_kind::bad_length, "frame too large"};
    return std::nullopt;
}

// Makes room in `payload`, which holds the first bytes of a payload of `length` bytes, for the next ones
// and returns how many fit without another allocation (at least one while bytes are missing). The first
// room is the whole payload up to `eager_payload_size`; beyond that the buffer doubles only once it is
// full, so it never holds more than about twice what has arrived.
inline std::size_t make_payload_room(std::string& payload, std::size_t length) {
    const std::size_t used = payload.size();
    const std::size_t missing = length - used;
    if (used == 0 || payload.capacity() == used)
        payload.reserve(used + std::min(missing, std::max(eager_payload_size, used)));
    return std::min(missing, payload.capacity() - used);
}

// The end of the stream: clean between frames, a truncation inside one. Both read "end of file".
inline frame_error stream_ended(bool inside_frame) {
    return {inside_frame ? frame_error_kind::truncated : frame_error_kind::end_of_file, "end of file"};
}

// A frame that did not move within the caller's timeout (nothing is logged: the caller chose the limit).
inline frame_error timed_out() { return {frame_error_kind::timed_out, "timed out"}; }

// A failed `call` ("read", "write"), logged at error level to the library's source as it is returned.
frame_error system_failure(std::string_view call, int error_number);

}  // namespace quarvel::frame_rules
