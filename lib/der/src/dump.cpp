#include <der/dump.hpp>

#include <der/layout.hpp>

namespace quarvel::der {

std::string octet_dump(std::string_view octets, std::size_t column) {
    static constexpr char hex[] = "0123456789abcdef";
    constexpr std::size_t group = 8;
    std::string out;
    // Two digits per octet, one character per break, and the indentation of every line after the first.
    const std::size_t groups = (octets.size() + group - 1) / group;
    const std::size_t groups_per_line = column + 2 * group < margin ? (margin - column + 1) / (2 * group + 1) : 1;
    out.reserve(octets.size() * 2 + groups + (groups / groups_per_line + 1) * column);
    box<std::string> box{out, column, column};
    char digits[2 * group];
    for (std::size_t at = 0; at < octets.size(); at += group) {
        const std::size_t n = octets.size() - at < group ? octets.size() - at : group;
        for (std::size_t i = 0; i < n; ++i) {
            const auto octet = static_cast<unsigned char>(octets[at + i]);
            digits[2 * i] = hex[octet >> 4];
            digits[2 * i + 1] = hex[octet & 0x0F];
        }
        if (at > 0) box.brk(2 * n);
        box.piece(std::string_view(digits, 2 * n));
    }
    return out;
}

}  // namespace quarvel::der
