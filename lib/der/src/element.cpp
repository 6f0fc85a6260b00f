#include <der/element.hpp>

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <variant>

#include <der/dump.hpp>

namespace quarvel::der {

using namespace detail;
using namespace header_octets;

namespace {

using fault = header_fault;

// A header read from a buffer: its tag and form, and where its contents begin and how long they are.
struct header {
    der::tag tag;
    der::form form = form::primitive;
    std::size_t contents_begin = 0;
    std::uint64_t length = 0;
};

struct header_or_fault {
    header value;
    bool ok = false;
    fault why = fault::index_out_of_bounds;
};

header_or_fault failed(fault why) { return {{}, false, why}; }

// Where a header cut short would end at least, and whether it is refused whatever octets follow: what a
// stream's reader needs to know, which the element reader does not ask for.
struct cut {
    std::size_t needed = 0;
    bool hopeless = false;
};

[[gnu::always_inline]] inline header_or_fault cut_short(cut* into, std::size_t needed, bool hopeless = false) {
    if (into) *into = {needed, hopeless};
    return failed(fault::index_out_of_bounds);
}

// Reads and checks the identifier and length octets at `at`; the buffer being read is input[.. end). The
// contents are not looked at. A header cut short is described in `*into` unless it is null.
[[gnu::always_inline]] inline header_or_fault read_header_octets(std::string_view input, std::size_t at,
                                                                 std::size_t end, cut* into = nullptr) {
    const auto octet = [&](std::size_t i) { return static_cast<std::uint8_t>(input[i]); };
    header h;
    if (at >= end) return cut_short(into, at + 2);  // an identifier and a length octet at least
    const std::uint8_t identifier = octet(at++);
    h.tag = tag_of(identifier);
    h.form = form_of(identifier);
    if (announces_high_number(identifier)) {
        std::uint64_t number = 0;
        for (std::size_t read = 0;; ++read) {
            if (read == max_high_number_octets) return failed(fault::big_tag_too_long);
            if (at >= end) return cut_short(into, at + 1);
            const std::uint8_t o = octet(at++);
            number = (number << group_bits) | (o & group_mask);
            if (number == 0) return failed(fault::big_tag_leading_zero);
            if ((o & more_groups_bit) == 0) break;
        }
        if (is_low_number(number)) return failed(fault::redundant_form);
        h.tag.number = number;
    }

    if (at >= end) return cut_short(into, at + 1);
    const std::uint8_t first = octet(at++);
    std::uint64_t length = first;
    if (first == indefinite_length) {
        return failed(h.form == form::primitive ? fault::primitive_indefinite : fault::constructed_indefinite);
    } else if (!is_short_length(first)) {
        const std::size_t n = first & length_count_mask;
        if (at >= end) return cut_short(into, at + 1, n > max_length_octets);
        if (octet(at) == 0) return failed(fault::redundant_length);
        if (n > max_length_octets) return failed(fault::length_overflow);
        const std::size_t length_end = at + n;
        length = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (at >= end) return cut_short(into, length_end);
            length = (length << 8) | octet(at++);
        }
        if (length > max_length) return failed(fault::length_overflow);
        if (fits_short_length(length)) return failed(fault::redundant_form);
    }
    h.contents_begin = at;
    h.length = length;
    return {h, true};
}

// Reads and checks the header at `at` and that its contents lie in the buffer input[.. end), for a header
// that `read_short_header` does not take.
header_or_fault read_general_header(std::string_view input, std::size_t at, std::size_t end) {
    header_or_fault h = read_header_octets(input, at, end);
    if (h.ok && h.value.length > end - h.value.contents_begin) return failed(fault::contents_out_of_bounds);
    return h;
}

// Reads and checks any header at `at` of the buffer input[.. end).
header_or_fault read_header(std::string_view input, std::size_t at, std::size_t end) {
    std::uint8_t identifier;
    std::size_t length;
    if (!read_short_header(input, at, end, identifier, length)) return read_general_header(input, at, end);
    return {{tag_of(identifier), form_of(identifier), at + short_header_size, length}, true};
}

// An octet dump of at most `max_dumped` octets, as messages show it from `column` on, a cut one followed
// by " ...", and with `with_total` by the octets of the whole.
std::string dump_of(std::string_view octets, std::size_t column, std::size_t max_dumped, bool with_total) {
    if (octets.size() <= max_dumped) return octet_dump(octets, column);
    std::string dump = octet_dump(octets.substr(0, max_dumped), column) + " ...";
    if (with_total) dump += " (" + std::to_string(octets.size()) + " octets)";
    return dump;
}

// The message's words around its dump, for a fault: the text before the dump and after it. A fault whose
// message holds no dump has it all before.
struct message_frame {
    std::string before;
    std::string_view dumped;
    std::string after;
};

message_frame frame_of(const reader_fault& f, std::string_view input) {
    const auto eof = [&](std::string_view what) {
        return message_frame{"Unexpected EOF (msg " + std::string(what) + "): ", input, {}};
    };
    const auto header_fault = [&](std::string_view reason) {
        return message_frame{"Header: at ", f.buffer, ": " + std::string(reason)};
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
        case fault::constructed_indefinite: break;
        case fault::too_deep: return {"nesting deeper than " + std::to_string(max_depth) + " levels", {}, {}};
    }
    return {"Constructed indefinite form", {}, {}};
}

// Entries as the reader writes them, in the layout that `tape` describes: the header's entry first, its
// lengths added by `record_primitive`, or by `close_constructed` once the subtree is known.
std::uint64_t entry_of(std::string_view input, std::size_t header_begin, const header& h) {
    return header_entry(static_cast<std::uint8_t>(input[header_begin]), h.contents_begin - header_begin);
}

// The bits of a wide entry, whose fields go to the end of the tape's `wide` list.
std::uint64_t wide_fields(tape& t, const tape::wide_entry& fields) {
    const std::uint64_t bits = tape_word::wide_bit | t.wide.size();
    t.wide.push_back(fields);
    return bits;
}

void record_primitive(tape& t, std::size_t header_begin, const header& h) {
    std::uint64_t entry = entry_of(t.input, header_begin, h);
    if (announces_high_number(entry_identifier(entry)) || h.length > tape_word::low50)
        entry |= wide_fields(t, {h.tag.number, h.length, 0});
    else
        entry |= h.length;
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

open_element opened(const header& h, std::size_t index) {
    return {h.contents_begin, h.contents_begin + static_cast<std::size_t>(h.length), h.tag.number, index};
}

// Completes the entry of the constructed element `h`, whose subtree ends with the last entry.
[[gnu::always_inline]] inline void close_constructed(tape& t, const open_element& h) {
    const std::size_t index = h.index;
    std::uint64_t& entry = t.entries[index];
    const std::uint64_t length = h.contents_end - h.contents_begin;
    const std::uint64_t subtree = t.entries.size() - index - 1;
    if (announces_high_number(entry_identifier(entry)) || length > tape_word::max_compact_constructed_length ||
        subtree > tape_word::max_compact_subtree)
        entry |= wide_fields(t, {h.number, length, subtree});
    else
        entry |= length << tape_word::subtree_bits | subtree;
}

}  // namespace

std::string reader_message(const reader_fault& f, std::string_view input, std::size_t max_dumped, bool with_total) {
    message_frame frame = frame_of(f, input);
    std::string m = std::move(frame.before);
    m += dump_of(frame.dumped, m.size(), max_dumped, with_total);
    m += frame.after;
    return m;
}

void reader_message_words(const reader_fault& f, std::string_view input,
                          const std::function<void(std::string_view)>& put) {
    static constexpr char hex[] = "0123456789abcdef";
    constexpr std::size_t group = 8;
    const message_frame frame = frame_of(f, input);
    put(frame.before);
    char digits[1 + 2 * group];
    for (std::size_t at = 0; at < frame.dumped.size(); at += group) {
        const std::size_t n = std::min(group, frame.dumped.size() - at);
        std::size_t k = 0;
        if (at > 0) digits[k++] = ' ';
        for (std::size_t i = 0; i < n; ++i) {
            const auto octet = static_cast<unsigned char>(frame.dumped[at + i]);
            digits[k++] = hex[octet >> 4];
            digits[k++] = hex[octet & 0x0F];
        }
        put(std::string_view(digits, k));
    }
    put(frame.after);
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

namespace {

// Readies `t` for a reading of `input`: no entries, no fault. A tape that the reading writes (`one_pass`
// false) is reserved for one entry per two octets, the least a header takes, up to 256 MiB of input; pages
// of it that are never written cost no memory.
void start(tape& t, std::string_view input, bool one_pass) {
    t.input = input;
    t.one_pass = one_pass;
    t.entries.clear();
    t.wide.clear();
    t.fault.found = false;
    t.fault.in_grammar = false;
    t.fault.path.clear();
    t.pass_fault = false;
    if (!one_pass) t.entries.reserve(std::min<std::size_t>(input.size() / 2 + 1, std::size_t{1} << 27));
}

}  // namespace

// One pass over the headers, depth first, left to right, without recursion: `open` holds the constructed
// elements being read, at most `max_depth` of them. Each checked header goes onto the tape.
header_start read_header_start(std::string_view octets) {
    cut c;
    const header_or_fault h = read_header_octets(octets, 0, octets.size(), &c);
    if (!h.ok) return {{}, h.why, c.needed, c.hopeless};
    return {{h.value.tag, h.value.form, h.value.contents_begin, h.value.length}, std::nullopt};
}

std::optional<reader_fault> check_headers(tape& headers, std::string_view input) {
    std::array<open_element, max_depth> open;
    std::size_t depth = 0;

    tape* const t = &headers;
    start(*t, input, false);

    const header_or_fault root = read_header(input, 0, input.size());
    if (!root.ok) return fail(*t, {}, root.why, 0, input);
    if (root.value.form == form::constructed) {
        open[depth++] = opened(root.value, 0);
        t->entries.push_back(entry_of(input, 0, root.value));
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
        std::uint8_t identifier;
        std::size_t length;
        if (read_short_header(input, at, parent.contents_end, identifier, length)) {
            const std::uint64_t entry = header_entry(identifier, short_header_size);
            const std::size_t contents_begin = at + short_header_size;
            if (is_constructed(identifier)) {
                open[depth++] = {contents_begin, contents_begin + length, low_number(identifier), t->entries.size()};
                t->entries.push_back(entry);
                at = contents_begin;
            } else {
                t->entries.push_back(entry | length);
                at = contents_begin + length;
            }
            continue;
        }
        const header_or_fault child = read_general_header(input, at, parent.contents_end);
        if (!child.ok)
            return fail(*t, std::span(open.data(), depth), child.why, at,
                        input.substr(parent.contents_begin, parent.contents_end - parent.contents_begin));
        if (child.value.form == form::constructed) {
            open[depth++] = opened(child.value, t->entries.size());
            t->entries.push_back(entry_of(input, at, child.value));
            at = child.value.contents_begin;
        } else {
            record_primitive(*t, at, child.value);
            at = child.value.contents_begin + static_cast<std::size_t>(child.value.length);
        }
    }
    return std::nullopt;
}

namespace {

// Every header of the element at offset 0 of `input`, checked as `check_headers` checks them, handed to
// `visit(at, depth, header)` in reading order; only the elements open are held, at most `max_depth` of
// them. Stops at the first fault and returns it. The common header is read inline, into registers.
template <class Visit>
std::optional<reader_fault> each_checked_header(std::string_view input, Visit&& visit) {
    struct open_contents {
        std::size_t begin;
        std::size_t end;
    };
    std::array<open_contents, max_depth> open;
    std::size_t depth = 0;
    const auto enter = [&](std::size_t at, const header& h) {
        visit(at, depth, h);
        const auto length = static_cast<std::size_t>(h.length);
        if (h.form == form::primitive) return h.contents_begin + length;
        open[depth++] = {h.contents_begin, h.contents_begin + length};
        return h.contents_begin;
    };

    const header_or_fault root = read_header(input, 0, input.size());
    if (!root.ok) return reader_fault{root.why, 0, input};
    std::size_t at = enter(0, root.value);
    while (depth > 0) {
        const open_contents& parent = open[depth - 1];
        if (at == parent.end) {
            --depth;
            continue;
        }
        const auto buffer = [&] { return input.substr(parent.begin, parent.end - parent.begin); };
        if (depth == max_depth) return reader_fault{fault::too_deep, at, buffer()};
        std::uint8_t identifier;
        std::size_t length;
        if (read_short_header(input, at, parent.end, identifier, length)) {
            at = enter(at, {tag_of(identifier), form_of(identifier), at + short_header_size, length});
            continue;
        }
        const header_or_fault h = read_general_header(input, at, parent.end);
        if (!h.ok) return reader_fault{h.why, at, buffer()};
        at = enter(at, h.value);
    }
    return std::nullopt;
}

}  // namespace

namespace {

// What a walk shows of the header `h` at `at` of `input`: its element, with `shown` octets of contents (all
// of them, or as far as the input goes), and its place.
header_view view_of(std::string_view input, std::size_t at, std::size_t depth, const header& h, std::uint64_t shown) {
    element e;
    e.tag = h.tag;
    e.form = h.form;
    e.contents = input.substr(h.contents_begin, static_cast<std::size_t>(shown));
    return header_view{at, depth, e, h.contents_begin - at};
}

}  // namespace

std::optional<reader_fault> walk_headers(std::string_view input, const std::function<void(const header_view&)>& visit) {
    return each_checked_header(input, [&](std::size_t at, std::size_t depth, const header& h) {
        visit(view_of(input, at, depth, h, h.length));
    });
}

std::optional<reader_fault> first_fault(std::string_view input) {
    return each_checked_header(input, [](std::size_t, std::size_t, const header&) {});
}

result<parsed_root> parse_into(tape& headers, std::string_view input) {
    if (const auto fault = check_headers(headers, input)) [[unlikely]] return error(reader_message(*fault, input));
    const element root = read_entry(headers, 0, 0);
    return parsed_root{root, static_cast<std::size_t>(root.contents.data() - input.data()) + root.contents.size()};
}

namespace {

// An element open while `read_to_cut` walks: the entry it was recorded as, where its header begins and
// where its header says its contents end (the entry closes at the input's end when that lies before).
struct open_to_cut {
    open_element recorded;
    std::size_t header_at;
    std::uint64_t announced_end;
};

// The entry for the header at `at` of `size` octets with `length` octets of contents and no children,
// recorded in the form `constructed` says whatever its identifier octet says: a primitive, or the innermost
// element that the input's end cuts, its form turned so that a grammar refuses it.
void record_cut(tape& t, std::size_t at, std::size_t size, std::uint64_t number, std::uint64_t length,
                bool constructed) {
    auto identifier = static_cast<std::uint8_t>(t.input[at]);
    identifier = static_cast<std::uint8_t>(constructed ? identifier | constructed_bit : identifier & ~constructed_bit);
    std::uint64_t entry = header_entry(identifier, size);
    const std::uint64_t compact_limit = constructed ? tape_word::max_compact_constructed_length : tape_word::low50;
    if (announces_high_number(identifier) || length > compact_limit)
        entry |= wide_fields(t, {number, length, 0});
    else
        entry |= constructed ? length << tape_word::subtree_bits : length;
    t.entries.push_back(entry);
}

}  // namespace

namespace {

// The walk of `read_to_cut`, handing what it reads to `rec`:
//   rec.primitive(at, header, depth, shown, announced)  a primitive, `shown` octets of its contents there
//                                                       and, when the end cuts it, `announced` by its header
//   rec.open(at, header, depth, shown, announced)       a constructed element opened, the same
//   rec.close(open_to_cut)                              a constructed element closed (at the end too)
//   rec.cut_header(at)                                  (turn_innermost) a header that the end cuts
//   rec.turn(open_to_cut)                               (turn_innermost) the innermost element cut, open
//   rec.entries()                                       the entry the next element is recorded as
template <class Recorder>
std::optional<cut_site> walk_to_cut(std::string_view input, bool turn_innermost, Recorder& rec) {
    const std::size_t n = input.size();
    std::vector<open_to_cut> open;
    cut_site site;
    std::size_t at = 0;
    // What the end cuts innermost, when it is an element still open: its place in `open` (else it is a
    // primitive just recorded, or a header).
    std::optional<std::size_t> innermost_open;
    // The deepest element open that the end cuts: where a fault other than the end leaves the walk.
    const auto deepest_cut = [&] {
        std::size_t i = open.size();
        while (i > 1 && open[i - 1].announced_end <= n) --i;
        return i - 1;
    };
    for (;;) {
        if (!open.empty()) {
            const open_to_cut& parent = open.back();
            if (at == parent.announced_end) {
                rec.close(parent);
                open.pop_back();
                if (open.empty()) return std::nullopt;
                continue;
            }
            if (at == n) {
                innermost_open = open.size() - 1;
                break;
            }
            if (open.size() == max_depth) {
                innermost_open = deepest_cut();
                break;
            }
        }
        const std::uint64_t parent_end = open.empty() ? n : open.back().announced_end;
        const std::size_t limit = parent_end < n ? static_cast<std::size_t>(parent_end) : n;
        const header_or_fault h = read_header_octets(input, at, limit);
        if (!h.ok) {
            if (open.empty() && (h.why != fault::index_out_of_bounds)) return std::nullopt;
            if (h.why == fault::index_out_of_bounds && limit == n && parent_end >= n) {
                site.offset = at;
                site.in_header = true;
                if (turn_innermost && at < n) rec.cut_header(at);
            } else {
                innermost_open = deepest_cut();
            }
            break;
        }
        const std::uint64_t announced_end = h.value.contents_begin + h.value.length;
        if (open.empty() && announced_end <= n) return std::nullopt;
        if (!open.empty() && announced_end > parent_end) {
            innermost_open = deepest_cut();
            break;
        }
        const std::optional<std::uint64_t> announced =
            announced_end > n ? std::optional<std::uint64_t>(h.value.length) : std::nullopt;
        if (h.value.form == form::primitive) {
            if (!announced) {
                rec.primitive(at, h.value, open.size(), h.value.length, announced);
                at = static_cast<std::size_t>(announced_end);
                continue;
            }
            site.offset = at;
            site.elements.push_back({rec.entries(), h.value.length});
            rec.primitive(at, h.value, open.size(), n - h.value.contents_begin, announced);
            break;
        }
        const std::size_t contents_end = announced ? n : static_cast<std::size_t>(announced_end);
        const std::size_t index = rec.entries();
        rec.open(at, h.value, open.size(), contents_end - h.value.contents_begin, announced);
        open.push_back({{h.value.contents_begin, contents_end, h.value.tag.number, index}, at, announced_end});
        at = h.value.contents_begin;
    }
    // Every element still open up to the innermost one is cut.
    std::vector<cut_element> open_cut;
    const std::size_t last_open = innermost_open ? *innermost_open + 1 : open.size();
    for (std::size_t i = 0; i < last_open; ++i)
        if (open[i].announced_end > n)
            open_cut.push_back({open[i].recorded.index, open[i].announced_end - open[i].recorded.contents_begin});
    site.elements.insert(site.elements.begin(), open_cut.begin(), open_cut.end());
    if (innermost_open) {
        const open_to_cut& cut = open[*innermost_open];
        site.offset = cut.header_at;
        if (turn_innermost) {
            rec.turn(cut);
            open.resize(*innermost_open);
        }
    }
    for (std::size_t i = open.size(); i-- > 0;) rec.close(open[i]);
    return site;
}

// What `read_to_cut` writes on its tape.
struct tape_recorder {
    tape& t;
    bool turn_innermost;

    std::size_t entries() const { return t.entries.size(); }
    // A primitive the end cuts is the innermost element cut: turned, so that a grammar refuses it.
    void primitive(std::size_t at, const header& h, std::size_t, std::uint64_t shown,
                   std::optional<std::uint64_t> announced) {
        record_cut(t, at, h.contents_begin - at, h.tag.number, shown, announced && turn_innermost);
    }
    void open(std::size_t at, const header& h, std::size_t, std::uint64_t, std::optional<std::uint64_t>) {
        t.entries.push_back(header_entry(static_cast<std::uint8_t>(t.input[at]), h.contents_begin - at));
    }
    void close(const open_to_cut& e) { close_constructed(t, e.recorded); }
    void cut_header(std::size_t at) {
        record_cut(t, at, t.input.size() - at, 0, 0, !is_constructed(static_cast<std::uint8_t>(t.input[at])));
    }
    // Its children are whole, but the grammar is to stop at the element itself: they go.
    void turn(const open_to_cut& cut) {
        t.entries.resize(cut.recorded.index);
        record_cut(t, cut.header_at, cut.recorded.contents_begin - cut.header_at, cut.recorded.number,
                   cut.recorded.contents_end - cut.recorded.contents_begin, false);
    }
};

// What `walk_to_cut` shows: each header as it is read.
struct visiting_recorder {
    std::string_view input;
    const std::function<void(const header_view&, std::optional<std::uint64_t>)>& visit;
    std::size_t read = 0;

    std::size_t entries() const { return read; }
    void primitive(std::size_t at, const header& h, std::size_t depth, std::uint64_t shown,
                   std::optional<std::uint64_t> announced) {
        show(at, h, depth, shown, announced);
    }
    void open(std::size_t at, const header& h, std::size_t depth, std::uint64_t shown,
              std::optional<std::uint64_t> announced) {
        show(at, h, depth, shown, announced);
    }
    void close(const open_to_cut&) {}
    void cut_header(std::size_t) {}
    void turn(const open_to_cut&) {}

    void show(std::size_t at, const header& h, std::size_t depth, std::uint64_t shown,
              std::optional<std::uint64_t> announced) {
        visit(view_of(input, at, depth, h, shown), announced);
        ++read;
    }
};

}  // namespace

std::optional<cut_site> read_to_cut(tape& t, std::string_view input, bool turn_innermost) {
    start(t, input, false);
    tape_recorder rec{t, turn_innermost};
    return walk_to_cut(input, turn_innermost, rec);
}

std::optional<cut_site> walk_to_cut(std::string_view input,
                                    const std::function<void(const header_view&, std::optional<std::uint64_t>)>& visit) {
    visiting_recorder rec{input, visit};
    return walk_to_cut(input, false, rec);
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
        const auto identifier = static_cast<std::uint8_t>(rest[0]);
        e.tag = tag_of(identifier);
        e.form = form_of(identifier);
        e.contents = rest.substr(rest.size());
        rest = {};
        return e;
    }
    e.tag = h.value.tag;
    e.form = h.value.form;
    e.contents = rest.substr(h.value.contents_begin, static_cast<std::size_t>(h.value.length));
    rest.remove_prefix(h.value.contents_begin + static_cast<std::size_t>(h.value.length));
    return e;
}

namespace {

// An element of `source` whose header at `at` the reader refused: its identifier's tag and form, nothing
// in it. The pass is marked, so that the decode ends with the reader's fault whatever a grammar makes of it.
element refused_in_pass(const tape& source, std::size_t at) {
    source.pass_fault = true;
    const auto identifier = static_cast<std::uint8_t>(source.input[at]);
    element e;
    e.tag = tag_of(identifier);
    e.form = form_of(identifier);
    e.contents = source.input.substr(at, 0);
    e.source = &source;
    return e;
}

element read_in_pass(const tape& source, const header& h, std::size_t at, std::size_t depth) {
    element e;
    e.tag = h.tag;
    e.form = h.form;
    e.header_size = h.contents_begin - at;
    e.depth = depth;
    e.contents = source.input.substr(h.contents_begin, static_cast<std::size_t>(h.length));
    e.source = &source;
    return e;
}

std::size_t octets_read(const element& e) {
    return e.header_size + (e.form == form::primitive ? e.contents.size() : 0);
}

}  // namespace

element child_cursor::next_in_pass_general(bool counted) {
    const header_or_fault h =
        depth > max_depth ? failed(fault::too_deep) : read_general_header(source->input, at, contents_end);
    if (!h.ok) {
        const element e = refused_in_pass(*source, at);
        at = contents_end;
        return e;
    }
    const element e = read_in_pass(*source, h.value, at, depth);
    at = h.value.contents_begin + static_cast<std::size_t>(h.value.length);
    if (counted) source->covered += octets_read(e);
    return e;
}

std::expected<element, reader_fault> begin_pass(tape& t, std::string_view input, bool headers_first) {
    start(t, input, true);
    if (headers_first)
        if (auto fault = first_fault(input)) {
            t.fault.found = true;
            t.fault.offset = fault->offset;
            return std::unexpected(*fault);
        }
    const header_or_fault h = read_header(input, 0, input.size());
    if (!h.ok) [[unlikely]] {
        t.fault.found = true;
        t.fault.offset = 0;
        return std::unexpected(reader_fault{h.why, 0, input});
    }
    const element root = read_in_pass(t, h.value, 0, 1);
    t.covered = octets_read(root);
    return root;
}

std::optional<reader_fault> finish_pass(tape& t, const element& root) {
    if (!t.pass_fault && t.covered == root_size(root)) [[likely]] return std::nullopt;
    // Some header went unread or was refused: the reader's rules over every header, in reading order.
    auto fault = first_fault(t.input);
    if (fault) t.fault = {true, false, fault->offset, {}};
    return fault;
}

std::size_t child_cursor::remaining() const {
    if (how != reading::from_tape) {
        std::size_t n = 0;
        for (child_cursor c = *this; !c.done(); ++n) {
            if (how == reading::in_pass)
                c.next_in_pass(false);
            else
                c.next_by_hand();
        }
        return n;
    }
    // Hops from one child's entry to the next sibling's: no header is read.
    std::size_t n = 0;
    for (std::size_t i = index; i != end; ++n) {
        const std::uint64_t entry = source->entries[i];
        std::uint64_t subtree = 0;
        if (entry_is_wide(entry))
            subtree = source->wide[entry_wide_index(entry)].subtree;
        else if (is_constructed(entry_identifier(entry)))
            subtree = entry_subtree(entry);
        i += 1 + static_cast<std::size_t>(subtree);
    }
    return n;
}

std::vector<element> children(const element& parent) {
    std::vector<element> all;
    for (child_cursor cursor(parent); !cursor.done();) all.push_back(cursor.next());
    return all;
}

}  // namespace quarvel::der
