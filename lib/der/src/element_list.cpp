#include <der/element.hpp>

#include "layout.hpp"

namespace der {

// Lines after a line feed start under the first item, one column after "[".
std::string element_list(const std::vector<element>& elements, std::size_t column) {
    std::string out = "[";
    detail::box box{out, column + 1, column + 1};
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const std::string item = item_text(elements[i].form, elements[i].tag);
        // The item is followed by its "," or the closing "]"; both must fit before the margin.
        if (i > 0) box.brk(item.size() + 1);
        box.piece(item);
        if (i + 1 < elements.size()) box.piece(",");
    }
    out += ']';
    return out;
}

}  // namespace der
