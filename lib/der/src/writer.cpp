#include <der/writer.hpp>

#include <cstdint>

namespace der {

namespace {

// Octets of a tag number of 31 or more in base 128.
std::size_t base128_size(std::uint64_t number) {
    std::size_t n = 1;
    while (number >>= 7) ++n;
    return n;
}

std::size_t big_endian_size(std::size_t length) {
    std::size_t n = 1;
    while (length >>= 8) ++n;
    return n;
}

}  // namespace

std::size_t header_size(tag t, std::size_t length) {
    const std::size_t identifier = t.number < 31 ? 1 : 1 + base128_size(t.number);
    const std::size_t length_octets = length < 128 ? 1 : 1 + big_endian_size(length);
    return identifier + length_octets;
}

void write_header(std::string& out, tag t, form f, std::size_t length) {
    const auto class_bits = static_cast<unsigned char>(static_cast<unsigned>(t.cls) << 6);
    const unsigned char constructed_bit = f == form::constructed ? 0x20 : 0x00;
    if (t.number < 31) {
        out.push_back(static_cast<char>(class_bits | constructed_bit | t.number));
    } else {
        out.push_back(static_cast<char>(class_bits | constructed_bit | 0x1F));
        for (std::size_t i = base128_size(t.number); i-- > 0;) {
            const auto group = static_cast<unsigned char>((t.number >> (7 * i)) & 0x7F);
            out.push_back(static_cast<char>(i > 0 ? group | 0x80 : group));
        }
    }
    if (length < 128) {
        out.push_back(static_cast<char>(length));
    } else {
        const std::size_t n = big_endian_size(length);
        out.push_back(static_cast<char>(0x80 | n));
        for (std::size_t i = n; i-- > 0;) out.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
    }
}

}  // namespace der
