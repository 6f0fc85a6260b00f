#include "grammars/path.hpp"
#include <quarvel_toolkit/path_rule.hpp>

namespace quarvel::asn {

std::string quoted_path(std::string_view path) {
    static constexpr char hex_digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size() + 2);
    out += '"';
    for (const char c : path) {
        const auto octet = static_cast<unsigned char>(c);
        switch (octet) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case 0x08: out += "\\b"; break;
        case 0x09: out += "\\t"; break;
        case 0x0A: out += "\\n"; break;
        case 0x0D: out += "\\r"; break;
        default:
            if (octet >= 0x20 && octet <= 0x7E) {
                out += c;
            } else {
                out += "\\x";
                out += hex_digits[octet >> 4];
                out += hex_digits[octet & 0x0F];
            }
        }
    }
    out += '"';
    return out;
}

result<std::string> valid_path(std::string&& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return der::error(quoted_path(path) + ": invalid path");
    collapse_slashes(path);
    return std::move(path);
}

}  // namespace quarvel::asn
