#include <der/writer.hpp>

#include <cstdint>

namespace quarvel::der {

using namespace header_octets;

namespace {

// Octets of a tag number of 31 or more in base 128.
std::size_t base128_size(std::uint64_t number) {
    std::size_t n = 1;
    while (number >>= group_bits) ++n;
    return n;
}

std::size_t big_endian_size(std::size_t length) {
    std::size_t n = 1;
    while (length >>= 8) ++n;
    return n;
}

}  // namespace

std::size_t header_size(tag t, std::size_t length) {
    const std::size_t identifier = is_low_number(t.number) ? 1 : 1 + base128_size(t.number);
    const std::size_t length_octets = fits_short_length(length) ? 1 : 1 + big_endian_size(length);
    return identifier + length_octets;
}

void write_header(std::string& out, tag t, form f, std::size_t length) {
    if (is_low_number(t.number)) {
        out.push_back(static_cast<char>(identifier_octet(t.cls, f, static_cast<std::uint8_t>(t.number))));
    } else {
        out.push_back(static_cast<char>(identifier_octet(t.cls, f, high_number_mark)));
        for (std::size_t i = base128_size(t.number); i-- > 0;) {
            const auto group = static_cast<std::uint8_t>((t.number >> (group_bits * i)) & group_mask);
            out.push_back(static_cast<char>(i > 0 ? group | more_groups_bit : group));
        }
    }
    if (fits_short_length(length)) {
        out.push_back(static_cast<char>(length));
    } else {
        const std::size_t n = big_endian_size(length);
        out.push_back(static_cast<char>(long_length_bit | n));
        for (std::size_t i = n; i-- > 0;) out.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
    }
}

}  // namespace quarvel::der
