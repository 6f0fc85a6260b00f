#include <der/dump.hpp>
#include <der/primitives.hpp>

namespace quarvel::der {

result<std::monostate> read_null(std::string_view contents) {
    if (contents.empty()) return std::monostate{};
    std::string m = "NULL: ";
    m += octet_dump(contents, m.size());
    return error(std::move(m));
}

}  // namespace quarvel::der
