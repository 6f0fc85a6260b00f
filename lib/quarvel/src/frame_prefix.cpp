#include <quarvel/framing.hpp>

namespace quarvel {

std::array<char, frame_prefix_size> frame_prefix(std::int64_t length) {
    const auto bits = static_cast<std::uint64_t>(length);  // two's complement
    std::array<char, frame_prefix_size> prefix;
    for (std::size_t i = 0; i < prefix.size(); ++i) prefix[i] = static_cast<char>(bits >> (56 - 8 * i));
    return prefix;
}

std::int64_t read_frame_prefix(std::span<const char, frame_prefix_size> prefix) {
    std::uint64_t bits = 0;
    for (char byte : prefix) bits = bits << 8 | static_cast<unsigned char>(byte);
    return static_cast<std::int64_t>(bits);  // two's complement
}

}  // namespace quarvel
