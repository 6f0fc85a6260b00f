#include <der/element.hpp>

#include <der/layout.hpp>

namespace quarvel::der {

namespace {

// Lays out the items that `next` yields (it returns false when there are none left) into `out`, starting at
// `column`: "[", the item texts separated by "," and a break, "]". Lines after a line feed start under the
// first item, one column after "[".
template <class Out, class Next>
void lay_out(Out& out, Next next, std::size_t column) {
    box<Out> box{out, column + 1, column};
    box.piece("[");
    form f;
    tag t;
    bool more = next(f, t);
    for (bool first = true; more; first = false) {
        const item_text_buffer item(f, t);
        // The item is followed by its "," or the closing "]"; both must fit before the margin.
        if (!first) box.brk(item.size + 1);
        box.piece(item.view());
        more = next(f, t);
        if (more) box.piece(",");
    }
    box.piece("]");
}

// The list after `prefix`, in a string reserved at its final size.
template <class Source>
std::string list_with_prefix(std::string_view prefix, const Source& source, std::size_t column) {
    std::string out(prefix);
    append_measured(out, [&](auto& o) { lay_out(o, source(), column); });
    return out;
}

}  // namespace

std::string element_list(const std::vector<element>& elements, std::size_t column) {
    return list_with_prefix({}, [&] {
        return [&elements, i = std::size_t{0}](form& f, tag& t) mutable {
            if (i == elements.size()) return false;
            f = elements[i].form;
            t = elements[i].tag;
            ++i;
            return true;
        };
    }, column);
}

std::string element_list(std::string_view prefix, child_cursor from) {
    return list_with_prefix(prefix, [&] {
        return [cursor = from](form& f, tag& t) mutable {
            if (cursor.done()) return false;
            const element e = cursor.next();
            f = e.form;
            t = e.tag;
            return true;
        };
    }, prefix.size());
}

}  // namespace quarvel::der
