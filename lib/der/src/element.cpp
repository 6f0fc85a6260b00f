#include <der/element.hpp>

#include <array>
#include <cstdint>

#include <der/dump.hpp>

namespace der {

namespace {

// Class, form and low tag number of an identifier octet (a low number of 31 announces the high form).
template <class Header>
void set_identifier(Header& h, std::uint8_t t0) {
    h.tag = tag{static_cast<tag_class>(t0 >> 6), std::uint64_t{t0} & 0x1F};
    h.form = (t0 & 0x20) != 0 ? form::constructed : form::primitive;
}

constexpr std::uint64_t max_length = (std::uint64_t{1} << 62) - 1;

enum class fault : std::uint8_t {
    index_out_of_bounds,  // an identifier or length octet beyond the end of its buffer
    contents_out_of_bounds,
    redundant_form,
    big_tag_too_long,
    big_tag_leading_zero,
    redundant_length,
    length_overflow,
    primitive_indefinite,
    constructed_indefinite,
};

struct header {
    der::tag tag;
    der::form form = form::primitive;
    std::size_t contents_begin = 0;
    std::size_t contents_end = 0;
};

struct header_or_fault {
    header value;
    bool ok = false;
    fault why = fault::index_out_of_bounds;
};

header_or_fault failed(fault why) { return {{}, false, why}; }

// Reads and checks the header of the element at `at`; the buffer being read is input[.. end).
header_or_fault read_header(std::string_view input, std::size_t at, std::size_t end) {
    const auto octet = [&](std::size_t i) { return static_cast<std::uint8_t>(input[i]); };
    header h;
    // The common case first: a one-octet identifier and a short-form length.
    if (end - at >= 2 && at < end) {
        const std::uint8_t t0 = octet(at);
        const std::uint8_t l0 = octet(at + 1);
        if ((t0 & 0x1F) != 31 && l0 < 0x80) {
            if (l0 > end - at - 2) return failed(fault::contents_out_of_bounds);
            set_identifier(h, t0);
            h.contents_begin = at + 2;
            h.contents_end = at + 2 + l0;
            return {h, true, fault::index_out_of_bounds};
        }
    }
    if (at >= end) return failed(fault::index_out_of_bounds);
    const std::uint8_t t0 = octet(at++);
    set_identifier(h, t0);
    if (h.tag.number == 31) {
        std::uint64_t number = 0;
        for (std::size_t read = 0;; ++read) {
            if (read == 8) return failed(fault::big_tag_too_long);
            if (at >= end) return failed(fault::index_out_of_bounds);
            const std::uint8_t o = octet(at++);
            number = (number << 7) | (o & 0x7F);
            if (number == 0) return failed(fault::big_tag_leading_zero);
            if ((o & 0x80) == 0) break;
        }
        if (number < 31) return failed(fault::redundant_form);
        h.tag.number = number;
    }

    if (at >= end) return failed(fault::index_out_of_bounds);
    const std::uint8_t l0 = octet(at++);
    std::uint64_t length = l0;
    if (l0 == 0x80) {
        return failed(h.form == form::primitive ? fault::primitive_indefinite : fault::constructed_indefinite);
    } else if (l0 > 0x80) {
        const std::size_t n = l0 & 0x7F;
        if (at >= end) return failed(fault::index_out_of_bounds);
        if (octet(at) == 0) return failed(fault::redundant_length);
        if (n > 8) return failed(fault::length_overflow);
        length = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (at >= end) return failed(fault::index_out_of_bounds);
            length = (length << 8) | octet(at++);
        }
        if (length > max_length) return failed(fault::length_overflow);
        if (length < 128) return failed(fault::redundant_form);
    }
    if (length > end - at) return failed(fault::contents_out_of_bounds);
    h.contents_begin = at;
    h.contents_end = at + static_cast<std::size_t>(length);
    return {h, true, fault::index_out_of_bounds};
}

std::string message(fault why, std::string_view input, std::string_view buffer) {
    const auto eof = [&](std::string_view what) {
        std::string m = "Unexpected EOF (msg ";
        m += what;
        m += "): ";
        m += octet_dump(input, m.size());
        return m;
    };
    const auto header_fault = [&](std::string_view reason) {
        std::string m = "Header: at ";
        m += octet_dump(buffer, m.size());
        m += ": ";
        m += reason;
        return m;
    };
    switch (why) {
        case fault::index_out_of_bounds: return eof("index out of bounds");
        case fault::contents_out_of_bounds: return eof("String.sub / Bytes.sub");
        case fault::redundant_form: return header_fault("redundant form");
        case fault::big_tag_too_long: return header_fault("big tag: too long");
        case fault::big_tag_leading_zero: return header_fault("big tag: leading 0");
        case fault::redundant_length: return header_fault("redundant length");
        case fault::length_overflow: return header_fault("length overflow");
        case fault::primitive_indefinite: return header_fault("primitive and indefinite length");
        case fault::constructed_indefinite: return "Constructed indefinite form";
    }
    return "Constructed indefinite form";
}

element element_of(std::string_view input, const header& h) {
    return {h.tag, h.form, input.substr(h.contents_begin, h.contents_end - h.contents_begin)};
}

}  // namespace

// One pass over the headers, depth first, left to right, without recursion: `open` holds the contents
// ranges of the constructed elements being read, at most `max_depth` of them.
result<parsed> parse(std::string_view input) {
    struct range {
        std::size_t begin, end;
    };
    std::array<range, max_depth> open;
    std::size_t depth = 0;

    const header_or_fault root = read_header(input, 0, input.size());
    if (!root.ok) return error(message(root.why, input, input));
    if (root.value.form == form::constructed) open[depth++] = {root.value.contents_begin, root.value.contents_end};

    std::size_t at = root.value.contents_begin;
    while (depth > 0) {
        const range parent = open[depth - 1];
        if (at == parent.end) {
            --depth;
            continue;
        }
        if (depth == max_depth) return error("nesting deeper than 64 levels");
        const header_or_fault child = read_header(input, at, parent.end);
        if (!child.ok) return error(message(child.why, input, input.substr(parent.begin, parent.end - parent.begin)));
        if (child.value.form == form::constructed) {
            open[depth++] = {child.value.contents_begin, child.value.contents_end};
            at = child.value.contents_begin;
        } else {
            at = child.value.contents_end;
        }
    }
    return parsed{element_of(input, root.value), root.value.contents_end};
}

namespace {

// Reads the child at the front of `rest` and returns the octets it occupies. The headers were checked
// by `parse`; still, every read stays inside `rest`, whatever it holds.
std::size_t read_child(std::string_view rest, element& e) {
    const auto octet = [&](std::size_t i) { return static_cast<std::uint8_t>(rest[i]); };
    const std::size_t size = rest.size();
    e = element{};
    // The common cases first: a one-octet identifier and a length in one octet (short form) or in one
    // octet after 0x81.
    if (size >= 2) {
        const std::uint8_t t0 = octet(0);
        const std::uint8_t l0 = octet(1);
        if ((t0 & 0x1F) != 31) {
            std::size_t at = 0, length = 0;
            if (l0 < 0x80) {
                at = 2;
                length = l0;
            } else if (l0 == 0x81 && size >= 3) {
                at = 3;
                length = octet(2);
            }
            if (at != 0 && length <= size - at) {
                set_identifier(e, t0);
                e.contents = rest.substr(at, length);
                return at + length;
            }
        }
    }
    std::size_t at = 0;
    if (size == 0) return 0;
    const std::uint8_t t0 = octet(at++);
    set_identifier(e, t0);
    if (e.tag.number == 31) {
        std::uint64_t number = 0;
        for (std::size_t read = 0; read < 8 && at < size; ++read) {
            const std::uint8_t o = octet(at++);
            number = (number << 7) | (o & 0x7F);
            if ((o & 0x80) == 0) break;
        }
        e.tag.number = number;
    }
    std::uint64_t length = 0;
    if (at < size) {
        const std::uint8_t l0 = octet(at++);
        if (l0 < 0x80) {
            length = l0;
        } else {
            for (std::size_t n = l0 & 0x7F; n > 0 && n <= 8 && at < size; --n) length = (length << 8) | octet(at++);
        }
    }
    const std::size_t available = size - at;
    const std::size_t n = length < available ? static_cast<std::size_t>(length) : available;
    e.contents = rest.substr(at, n);
    return at + n;
}

}  // namespace

element child_cursor::peek() const {
    element e;
    read_child(rest, e);
    return e;
}

element child_cursor::next() {
    element e;
    rest.remove_prefix(read_child(rest, e));
    return e;
}

std::vector<element> children(const element& parent) {
    std::vector<element> all;
    for (child_cursor cursor(parent); !cursor.done();) all.push_back(cursor.next());
    return all;
}

}  // namespace der
