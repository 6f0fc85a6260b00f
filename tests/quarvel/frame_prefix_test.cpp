// The length prefix of a frame on its own: exact bytes for chosen lengths, and every byte sequence read
// back to itself.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include <quarvel/framing.hpp>

namespace quarvel {
namespace {

using namespace std::string_literals;

std::string_view bytes_of(const std::array<char, frame_prefix_size>& prefix) {
    return {prefix.data(), prefix.size()};
}

std::span<const char, frame_prefix_size> as_prefix(const std::string& bytes) {
    return std::span<const char, frame_prefix_size>(bytes.data(), frame_prefix_size);
}

TEST(FramePrefix, LengthsAndTheirBytes) {
    struct Case {
        std::int64_t length;
        std::string bytes;
    };
    const Case cases[] = {
        {0, "\x00\x00\x00\x00\x00\x00\x00\x00"s},
        {5, "\x00\x00\x00\x00\x00\x00\x00\x05"s},
        {0xff, "\x00\x00\x00\x00\x00\x00\x00\xff"s},
        {0x80, "\x00\x00\x00\x00\x00\x00\x00\x80"s},
        {0x10203, "\x00\x00\x00\x00\x00\x01\x02\x03"s},
        {max_frame_size, "\x00\x00\x00\x00\x10\x00\x00\x00"s},
        {0x0102030405060708, "\x01\x02\x03\x04\x05\x06\x07\x08"s},
        {0x00ff80ff80ff80ff, "\x00\xff\x80\xff\x80\xff\x80\xff"s},
        {std::numeric_limits<std::int64_t>::max(), "\x7f\xff\xff\xff\xff\xff\xff\xff"s},
        {-1, "\xff\xff\xff\xff\xff\xff\xff\xff"s},
        {-2, "\xff\xff\xff\xff\xff\xff\xff\xfe"s},
        {-256, "\xff\xff\xff\xff\xff\xff\xff\x00"s},
        {std::numeric_limits<std::int64_t>::min(), "\x80\x00\x00\x00\x00\x00\x00\x00"s},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(c.bytes.size(), frame_prefix_size) << c.length;
        EXPECT_EQ(bytes_of(frame_prefix(c.length)), c.bytes) << c.length;
        EXPECT_EQ(read_frame_prefix(as_prefix(c.bytes)), c.length) << c.length;
    }
}

TEST(FramePrefix, EveryByteInEveryPlaceReadsBackToItself) {
    for (std::size_t place = 0; place < frame_prefix_size; ++place)
        for (int value = 0; value < 256; ++value)
            for (const char filler : {'\x00', '\x7f', '\x80', '\xff'}) {
                std::string bytes(frame_prefix_size, filler);
                bytes[place] = static_cast<char>(value);
                EXPECT_EQ(bytes_of(frame_prefix(read_frame_prefix(as_prefix(bytes)))), bytes)
                    << "byte " << value << " at " << place << " among " << int{filler};
            }
}

}  // namespace
}  // namespace quarvel
