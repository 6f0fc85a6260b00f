#include <der/element.hpp>

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include <der/dump.hpp>

namespace der {

using namespace detail;

namespace {

// Class, form and low tag number of an identifier octet (a low number of 31 announces the high form).
template <class Header>
void set_identifier(Header& h, std::uint8_t t0) {
    h.tag = tag{static_cast<tag_class>(t0 >> 6), std::uint64_t{t0} & 0x1F};
    h.form = (t0 & 0x20) != 0 ? form::constructed : form::primitive;
}

constexpr std::uint64_t max_length = (std::uint64_t{1} << 62) - 1;

using fault = header_fault;

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

// An octet dump of at most `max_dumped` octets, as messages show it from `column` on.
std::string dump_of(std::string_view octets, std::size_t column, std::size_t max_dumped) {
    if (octets.size() <= max_dumped) return octet_dump(octets, column);
    return octet_dump(octets.substr(0, max_dumped), column) + " ...";
}

std::uint64_t identifier_octet(std::string_view input, std::size_t header_begin) {
    return static_cast<std::uint8_t>(input[header_begin]);
}

// The entry of a checked header; a constructed element's subtree size is added when it closes.
std::uint64_t entry_of(std::uint64_t identifier, std::size_t header_begin, const header& h) {
    return identifier << identifier_shift | std::uint64_t(h.contents_begin - header_begin) << header_size_shift;
}

void record_primitive(tape& t, std::size_t header_begin, const header& h) {
    const std::uint64_t identifier = identifier_octet(t.input, header_begin);
    std::uint64_t entry = entry_of(identifier, header_begin, h);
    const std::uint64_t length = h.contents_end - h.contents_begin;
    if ((identifier & 0x1F) == 31 || length > low50) {
        entry |= wide_bit | t.wide.size();
        t.wide.push_back({h.tag.number, length, 0});
    } else {
        entry |= length;
    }
    t.entries.push_back(entry);
}

// A constructed element being read: its contents' bounds, its tag number and its entry. No member has a
// default value, so that the stack of them costs nothing until it is used.
struct open_element {
    std::size_t contents_begin;
    std::size_t contents_end;
    std::uint64_t number;
    std::size_t index;
};

open_element opened(const header& h, std::size_t index) { return {h.contents_begin, h.contents_end, h.tag.number, index}; }

// Completes the entry of the constructed element `h`, whose subtree ends with the last entry.
[[gnu::always_inline]] inline void close_constructed(tape& t, const open_element& h) {
    const std::size_t index = h.index;
    std::uint64_t& entry = t.entries[index];
    const std::uint64_t length = h.contents_end - h.contents_begin;
    const std::uint64_t subtree = t.entries.size() - index - 1;
    if ((entry >> identifier_shift & 0x1F) == 31 || length > max_compact_constructed_length || subtree > max_compact_subtree) {
        entry |= wide_bit | t.wide.size();
        t.wide.push_back({h.number, length, subtree});
    } else {
        entry |= length << subtree_bits | subtree;
    }
}

}  // namespace

std::string reader_message(const reader_fault& f, std::string_view input, std::size_t max_dumped) {
    const auto eof = [&](std::string_view what) {
        std::string m = "Unexpected EOF (msg ";
        m += what;
        m += "): ";
        m += dump_of(input, m.size(), max_dumped);
        return m;
    };
    const auto header_fault = [&](std::string_view reason) {
        std::string m = "Header: at ";
        m += dump_of(f.buffer, m.size(), max_dumped);
        m += ": ";
        m += reason;
        return m;
    };
    switch (f.why) {
        case fault::index_out_of_bounds: return eof("index out of bounds");
        case fault::contents_out_of_bounds: return eof("String.sub / Bytes.sub");
        case fault::redundant_form: return header_fault("redundant form");
        case fault::big_tag_too_long: return header_fault("big tag: too long");
        case fault::big_tag_leading_zero: return header_fault("big tag: leading 0");
        case fault::redundant_length: return header_fault("redundant length");
        case fault::length_overflow: return header_fault("length overflow");
        case fault::primitive_indefinite: return header_fault("primitive and indefinite length");
        case fault::constructed_indefinite: return "Constructed indefinite form";
        case fault::too_deep: return "nesting deeper than " + std::to_string(max_depth) + " levels";
    }
    return "Constructed indefinite form";
}

namespace {

// The fault at `at` while reading `buffer`: recorded on the tape, whose open elements are closed as their
// headers announced them, so that what was read before the fault stays a tape that can be walked.
[[gnu::cold, gnu::noinline]] reader_fault fail(tape& t, std::span<const open_element> open, fault why, std::size_t at,
                                               std::string_view buffer) {
    for (std::size_t i = open.size(); i-- > 0;) close_constructed(t, open[i]);
    t.fault.found = true;
    t.fault.offset = at;
    return {why, at, buffer};
}

}  // namespace

// One pass over the headers, depth first, left to right, without recursion: `open` holds the constructed
// elements being read, at most `max_depth` of them. Each checked header goes onto the tape.
std::optional<reader_fault> check_headers(tape& headers, std::string_view input) {
    std::array<open_element, max_depth> open;
    std::size_t depth = 0;

    tape* const t = &headers;
    t->input = input;
    t->entries.clear();
    t->wide.clear();
    t->fault.found = false;
    t->fault.in_grammar = false;
    t->fault.path.clear();
    // Every header takes two octets at least, so the tape never grows past this reservation for inputs
    // up to 256 MiB; pages of it that are never written cost no memory.
    t->entries.reserve(std::min<std::size_t>(input.size() / 2 + 1, std::size_t{1} << 27));

    const header_or_fault root = read_header(input, 0, input.size());
    if (!root.ok) return fail(*t, {}, root.why, 0, input);
    if (root.value.form == form::constructed) {
        open[depth++] = opened(root.value, 0);
        t->entries.push_back(entry_of(identifier_octet(input, 0), 0, root.value));
    } else {
        record_primitive(*t, 0, root.value);
    }

    std::size_t at = root.value.contents_begin;
    while (depth > 0) {
        const open_element& parent = open[depth - 1];
        if (at == parent.contents_end) {
            close_constructed(*t, parent);
            --depth;
            continue;
        }
        if (depth == max_depth)
            return fail(*t, std::span(open.data(), depth), fault::too_deep, at,
                        input.substr(parent.contents_begin, parent.contents_end - parent.contents_begin));
        // The common case inline: a one-octet identifier and a short-form length that fits.
        if (parent.contents_end - at >= 2) {
            const std::uint64_t t0 = static_cast<std::uint8_t>(input[at]);
            const std::size_t l0 = static_cast<std::uint8_t>(input[at + 1]);
            if ((t0 & 0x1F) != 31 && l0 < 0x80 && l0 <= parent.contents_end - at - 2) {
                const std::uint64_t entry = t0 << identifier_shift | std::uint64_t{2} << header_size_shift;
                if ((t0 & 0x20) != 0) {
                    open[depth++] = {at + 2, at + 2 + l0, t0 & 0x1F, t->entries.size()};
                    t->entries.push_back(entry);
                    at += 2;
                } else {
                    t->entries.push_back(entry | l0);
                    at += 2 + l0;
                }
                continue;
            }
        }
        const header_or_fault child = read_header(input, at, parent.contents_end);
        if (!child.ok)
            return fail(*t, std::span(open.data(), depth), child.why, at,
                        input.substr(parent.contents_begin, parent.contents_end - parent.contents_begin));
        if (child.value.form == form::constructed) {
            open[depth++] = opened(child.value, t->entries.size());
            t->entries.push_back(entry_of(identifier_octet(input, at), at, child.value));
            at = child.value.contents_begin;
        } else {
            record_primitive(*t, at, child.value);
            at = child.value.contents_end;
        }
    }
    return std::nullopt;
}

result<parsed_root> parse_into(tape& headers, std::string_view input) {
    if (const auto fault = check_headers(headers, input)) [[unlikely]] return error(reader_message(*fault, input));
    const element root = read_entry(headers, 0, 0);
    return parsed_root{root, static_cast<std::size_t>(root.contents.data() - input.data()) + root.contents.size()};
}

tape_owner::~tape_owner() { delete tape_; }

result<parsed> parse(std::string_view input) {
    tape* const headers = new tape;
    tape_owner owner(headers);
    auto r = parse_into(*headers, input);
    if (!r) return error(std::move(r.error()));
    return parsed{r->root, r->size, std::move(owner)};
}

namespace {

// The spare tape of a thread. Its storage is kept for the next decode while it stays within this many
// entries (64 KiB): enough for commands and states of every day, small enough to keep in every thread.
constexpr std::size_t spare_tape_entries = 8192;

struct spare_tape {
    tape headers;
    bool lent = false;
};

spare_tape& this_threads_spare() {
    thread_local spare_tape spare;
    return spare;
}

}  // namespace

tape_lease::tape_lease() : tape_(&own_), spare_(false) {
    spare_tape& spare = this_threads_spare();
    if (!spare.lent) {
        spare.lent = true;
        tape_ = &spare.headers;
        spare_ = true;
    }
}

tape_lease::~tape_lease() {
    if (!spare_) return;
    spare_tape& spare = this_threads_spare();
    spare.headers.input = {};
    if (spare.headers.entries.capacity() > spare_tape_entries) spare.headers.entries = {};
    if (spare.headers.wide.capacity() > spare_tape_entries) spare.headers.wide = {};
    spare.lent = false;
}

// An element built by hand: its contents were never checked. The checking reader reads the next header;
// what it refuses is one last element that holds nothing.
element child_cursor::next_by_hand() {
    element e;
    const header_or_fault h = read_header(rest, 0, rest.size());
    if (!h.ok) {
        set_identifier(e, static_cast<std::uint8_t>(rest[0]));
        e.contents = rest.substr(rest.size());
        rest = {};
        return e;
    }
    e.tag = h.value.tag;
    e.form = h.value.form;
    e.contents = rest.substr(h.value.contents_begin, h.value.contents_end - h.value.contents_begin);
    rest.remove_prefix(h.value.contents_end);
    return e;
}

std::size_t child_cursor::remaining() const {
    if (source == nullptr) {
        std::size_t n = 0;
        for (child_cursor c = *this; !c.done(); c.next()) ++n;
        return n;
    }
    // Hops from one child's entry to the next sibling's: no header is read.
    std::size_t n = 0;
    for (std::size_t i = index; i != end; ++n) {
        const std::uint64_t entry = source->entries[i];
        std::uint64_t subtree = 0;
        if (entry & wide_bit)
            subtree = source->wide[entry & low50].subtree;
        else if (entry >> identifier_shift & 0x20)
            subtree = entry & max_compact_subtree;
        i += 1 + static_cast<std::size_t>(subtree);
    }
    return n;
}

std::vector<element> children(const element& parent) {
    std::vector<element> all;
    for (child_cursor cursor(parent); !cursor.done();) all.push_back(cursor.next());
    return all;
}

}  // namespace der
