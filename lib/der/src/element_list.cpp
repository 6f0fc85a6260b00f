#include <der/element.hpp>

#include <charconv>

#include "layout.hpp"

namespace der {

namespace {

// The item text of an element, "(" form " " class " " number ")", appended without a temporary.
struct item {
    std::string_view form_text;
    std::string_view class_text;
    char digits[20];
    std::size_t digit_count;

    item(form f, tag t) : form_text(form_word(f)), class_text(class_word(t.cls)) {
        digit_count = static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, t.number).ptr - digits);
    }
    std::size_t size() const { return form_text.size() + class_text.size() + digit_count + 4; }
    void append_to(std::string& out) const {
        out += '(';
        out += form_text;
        out += ' ';
        out += class_text;
        out += ' ';
        out.append(digits, digit_count);
        out += ')';
    }
};

// Lays out the items that `next` yields (it returns false when there are none left) starting at
// `column`. Lines after a line feed start under the first item, one column after "[". With `out` null
// only the length is computed; the two runs lay out the same text.
template <class Next>
std::size_t lay_out(Next next, std::size_t column, std::string* out) {
    const std::size_t indent = column + 1;
    std::size_t length = 1, at = indent;
    if (out) *out += '[';
    bool first = true;
    form f;
    tag t;
    bool more = next(f, t);
    while (more) {
        const item it(f, t);
        // The item is followed by its "," or the closing "]"; both must fit before the margin.
        if (!first) {
            if (at + 1 + it.size() + 1 <= margin) {
                if (out) *out += ' ';
                ++length;
                ++at;
            } else {
                if (out) {
                    *out += '\n';
                    out->append(indent, ' ');
                }
                length += 1 + indent;
                at = indent;
            }
        }
        first = false;
        if (out) it.append_to(*out);
        length += it.size();
        at += it.size();
        more = next(f, t);
        if (more) {
            if (out) *out += ',';
            ++length;
            ++at;
        }
    }
    if (out) *out += ']';
    return length + 1;
}

template <class Source>
std::string list_with_prefix(std::string_view prefix, const Source& source, std::size_t column) {
    const std::size_t length = lay_out(source(), column, nullptr);
    std::string out;
    out.reserve(prefix.size() + length);
    out += prefix;
    lay_out(source(), column, &out);
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

}  // namespace der
