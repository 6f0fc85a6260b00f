#pragma once
/// \file
/// Reading DER elements. Every byte-level error wins over a type error. The decoders read an element in one
/// pass (`begin_pass`, `finish_pass`): each header is checked where the grammar reaches it, and the rest of
/// the element is checked before a failure is answered. `parse` checks one complete element, every level of
/// it, before anything looks at it, and keeps what it checked as a tape: one compact entry per header, in
/// reading order (depth first, left to right), for the walks of failure paths (where an input cut short
/// ends) and for what reads an element more than once. Elements are views into the input: nothing is
/// copied. A child is read only from its parent's contents.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <quarvel/der_result.hpp>

#include <der/short_name.hpp>
#include <der/tag.hpp>

namespace quarvel::der {

/// Elements nested deeper than this are refused while parsing ("nesting deeper than 64 levels"); the
/// outermost element is level 1.
inline constexpr std::size_t max_depth = 64;

/// One step of a place in a grammar: a member's label, or (no label) an item's index in a list.
struct path_step {
    std::string_view label;  ///< the member's label; empty for a list item
    std::size_t index = 0;   ///< a list item's index, from 0
};

/// Where the last parse or decode that used a tape failed. Only failures write it, so that a decode that
/// succeeds pays nothing for it: the element reader sets the offset of the header it could not read, and a
/// grammar the offset of the innermost element it refused, each enclosing member then adding its step.
struct fault_site {
    bool found = false;           ///< whether a fault was recorded since the tape was last filled
    bool in_grammar = false;      ///< whether a grammar refused an element (else the reader, or a caller)
    std::size_t offset = 0;       ///< the input offset of the header at fault
    std::vector<path_step> path;  ///< innermost step first
};

struct consumption_watch;

/// The headers that `parse` checked. An entry is one 64-bit word:
///   bits 63-56  the identifier octet (class, form, low tag number)
///   bits 55-51  the header's size in octets (identifier and length octets, 2 to 18)
///   bit  50     wide: tag number, length and subtree size are in `wide[bits 49-0]`
///   otherwise, primitive:   bits 49-0 the contents' length
///              constructed: bits 49-20 the contents' length, bits 19-0 the entries of its subtree
/// Headers with a high tag number, and constructed elements too long for the compact form, are wide.
struct tape {
    /// The fields of a header too large for a compact entry.
    struct wide_entry {
        std::uint64_t number = 0;   ///< the tag number
        std::uint64_t length = 0;   ///< the contents' length
        std::uint64_t subtree = 0;  ///< the entries of its subtree
    };
    std::string_view input;              ///< the parsed input (a view: the caller keeps it alive)
    std::vector<std::uint64_t> entries;  ///< one entry per header, depth first
    std::vector<wide_entry> wide;        ///< the wide entries' fields
    /// Where the last parse or decode on this tape failed; decodes read the tape through const elements,
    /// so the one thing they write is mutable.
    mutable fault_site fault;
    /// Told how far the decode on this tape has gone, when the decode was given one (see <der/consumption.hpp>).
    consumption_watch* watch = nullptr;
    /// Read in one pass (`begin_pass`): no entries are written; elements are read from `input` as the decode
    /// reaches them, each header checked by the reader's rules where it stands.
    bool one_pass = false;
    /// Of a pass: whether a header was refused, and the octets of the headers read and of the primitives'
    /// contents, which add up to the root's size exactly when every header was read once.
    mutable bool pass_fault = false;
    mutable std::size_t covered = 0;
};

/// One element: a view into the input that `parse` read (or into octets built by hand). Valid while the
/// input lives.
struct element {
    der::tag tag;                      ///< its tag
    der::form form = form::primitive;  ///< primitive or constructed, never `any`
    std::string_view contents;         ///< the contents octets, a view into the parsed input
    /// The tape of the decode that read the element (and, for a tape of `parse`, its entry and the entry
    /// after its subtree); none for an element built by hand.
    const der::tape* source = nullptr;
    std::size_t index = 0;  ///< its entry in `source`
    std::size_t end = 0;    ///< the entry after its subtree
    std::size_t header_size = 0;  ///< its identifier and length octets (0 for an element built by hand)
    std::size_t depth = 0;        ///< its level, the outermost element's being 1 (read in one pass)
};

namespace detail {

/// The tape's word layout (see `tape`): the element reader's alone. Everything else reads and writes
/// entries through the functions below.
namespace tape_word {
inline constexpr unsigned identifier_shift = 56;
inline constexpr unsigned header_size_shift = 51;
inline constexpr std::uint64_t header_size_mask = 0x1F;
inline constexpr std::uint64_t wide_bit = std::uint64_t{1} << 50;
inline constexpr std::uint64_t low50 = wide_bit - 1;
inline constexpr unsigned subtree_bits = 20;
inline constexpr std::uint64_t max_compact_subtree = (std::uint64_t{1} << subtree_bits) - 1;
inline constexpr std::uint64_t max_compact_constructed_length = (std::uint64_t{1} << 30) - 1;
}  // namespace tape_word

/// The entry of a header, its identifier octet and size, before its lengths are added.
constexpr std::uint64_t header_entry(std::uint64_t identifier, std::size_t header_size) {
    return identifier << tape_word::identifier_shift | std::uint64_t{header_size} << tape_word::header_size_shift;
}
/// The identifier octet of an entry.
constexpr std::uint8_t entry_identifier(std::uint64_t entry) {
    return static_cast<std::uint8_t>(entry >> tape_word::identifier_shift);
}
/// The size of an entry's header: identifier and length octets.
constexpr std::size_t entry_header_size(std::uint64_t entry) {
    return static_cast<std::size_t>(entry >> tape_word::header_size_shift & tape_word::header_size_mask);
}
/// Whether an entry's fields are in the tape's `wide` list.
constexpr bool entry_is_wide(std::uint64_t entry) { return (entry & tape_word::wide_bit) != 0; }
/// The place in `wide` of a wide entry's fields.
constexpr std::size_t entry_wide_index(std::uint64_t entry) { return static_cast<std::size_t>(entry & tape_word::low50); }
/// A compact primitive entry's contents length.
constexpr std::uint64_t entry_primitive_length(std::uint64_t entry) { return entry & tape_word::low50; }
/// A compact constructed entry's contents length.
constexpr std::uint64_t entry_constructed_length(std::uint64_t entry) {
    return (entry & tape_word::low50) >> tape_word::subtree_bits;
}
/// A compact constructed entry's subtree size in entries.
constexpr std::uint64_t entry_subtree(std::uint64_t entry) { return entry & tape_word::max_compact_subtree; }

/// The common header: a one-octet identifier and a one-octet length whose contents fit in input[at .. end),
/// for `at` <= `end`. Elements read in bulk take this path inline; any other header is the general reader's.
inline constexpr std::size_t short_header_size = 2;
[[gnu::always_inline]] inline bool read_short_header(std::string_view input, std::size_t at, std::size_t end,
                                                     std::uint8_t& identifier, std::size_t& length) {
    if (end - at < short_header_size) return false;
    identifier = static_cast<std::uint8_t>(input[at]);
    const auto first = static_cast<std::uint8_t>(input[at + 1]);
    length = first;
    return !header_octets::announces_high_number(identifier) && header_octets::is_short_length(first) &&
           first <= end - at - short_header_size;
}

/// The element recorded at entry `index` of `t`, whose header begins at input offset `at`.
inline element read_entry(const tape& t, std::size_t index, std::size_t at) {
    const std::uint64_t entry = t.entries[index];
    const std::uint8_t identifier = entry_identifier(entry);
    element e;
    e.tag = header_octets::tag_of(identifier);
    e.form = header_octets::form_of(identifier);
    std::uint64_t length, subtree = 0;
    if (entry_is_wide(entry)) [[unlikely]] {
        const tape::wide_entry& w = t.wide[entry_wide_index(entry)];
        e.tag.number = w.number;
        length = w.length;
        subtree = w.subtree;
    } else if (e.form == form::constructed) {
        length = entry_constructed_length(entry);
        subtree = entry_subtree(entry);
    } else {
        length = entry_primitive_length(entry);
    }
    e.header_size = entry_header_size(entry);
    const std::size_t begin = at + e.header_size;
    e.contents = std::string_view(t.input.data() + begin, static_cast<std::size_t>(length));
    e.source = &t;
    e.index = index;
    e.end = index + 1 + static_cast<std::size_t>(subtree);
    return e;
}

}  // namespace detail

/// One header of a tape, with its place: what a listing of the elements shows.
struct header_view {
    std::size_t offset = 0;       ///< the input offset of its identifier octet
    std::size_t depth = 0;        ///< 0 for the outermost element
    element value;                ///< the element (its tag, form and contents)
    std::size_t header_size = 0;  ///< identifier and length octets
};

/// Calls `visit(header_view)` for every header on `t`, in reading order (depth first, left to right). In
/// reading order every header begins where the previous one's contents begin (constructed) or end
/// (primitive), since a parent's children fill its contents exactly; so no header is decoded again.
template <class Visit>
void each_header(const tape& t, Visit&& visit) {
    std::vector<std::size_t> ends;  // the entry after each open constructed element's subtree
    std::size_t at = 0;
    for (std::size_t i = 0; i < t.entries.size(); ++i) {
        while (!ends.empty() && i >= ends.back()) ends.pop_back();
        const element e = detail::read_entry(t, i, at);
        const std::size_t begin = static_cast<std::size_t>(e.contents.data() - t.input.data());
        visit(header_view{at, ends.size(), e, begin - at});
        if (e.form == form::constructed) {
            ends.push_back(e.end);
            at = begin;
        } else {
            at = begin + e.contents.size();
        }
    }
}

/// Owns a tape at a fixed address: the elements read from it point at it, so they stay valid when the
/// owner moves.
class tape_owner {
public:
    /// Takes `t`, made with `new`.
    explicit tape_owner(tape* t) : tape_(t) {}
    /// Takes the tape of `other`, which is left with none.
    tape_owner(tape_owner&& other) noexcept : tape_(other.tape_) { other.tape_ = nullptr; }
    /// Exchanges tapes with `other`, which frees this one's when it goes.
    tape_owner& operator=(tape_owner&& other) noexcept {
        tape* const mine = tape_;
        tape_ = other.tape_;
        other.tape_ = mine;
        return *this;
    }
    /// Frees the tape.
    ~tape_owner();
    /// The tape.
    const tape& operator*() const { return *tape_; }
    /// The tape's members.
    const tape* operator->() const { return tape_; }

private:
    tape* tape_;
};

/// What `parse` returns: views into its input, which the caller must keep alive while they are used.
struct parsed {
    element root;  ///< the element at offset 0
    std::size_t size = 0;  ///< octets the element occupies from offset 0 of the input
    tape_owner headers;  ///< what `root` and its descendants are read from
};

/// Reads and checks one complete element at offset 0 of `input`. The octets after it are not examined.
/// Errors carry the exact messages of the DER byte rules ("Unexpected EOF (msg index out of bounds): ...",
/// "Header: at ...: redundant form", "Constructed indefinite form", "nesting deeper than 64 levels", ...).
/// The elements returned are views into `input` (their contents are not copied): keep `input` alive, and
/// unchanged, while they are used.
result<parsed> parse(std::string_view input);

/// The faults of the element reader, in the order of its rules.
enum class header_fault : std::uint8_t {
    index_out_of_bounds,     ///< an identifier or length octet beyond the end of its buffer
    contents_out_of_bounds,  ///< contents reaching beyond the end of their buffer
    redundant_form,
    big_tag_too_long,
    big_tag_leading_zero,
    redundant_length,
    length_overflow,
    primitive_indefinite,
    constructed_indefinite,
    too_deep,  ///< nesting deeper than `max_depth`
};

/// What `check_headers` found wrong: the fault, the offset of the header at fault, and the buffer that
/// was being read (the whole input at top level, else the parent's contents).
struct reader_fault {
    header_fault why = header_fault::index_out_of_bounds;
    std::size_t offset = 0;
    std::string_view buffer;
};

/// The reader's message for `fault` in `input`: the exact text `parse` gives. Its octet dumps cover at most
/// `max_dumped` octets, a longer dump ending in " ..." (the listing of a large input keeps its messages
/// short; decoders never cut them), and with `with_total` in " ... (N octets)", N the octets of the whole.
std::string reader_message(const reader_fault& fault, std::string_view input,
                           std::size_t max_dumped = static_cast<std::size_t>(-1), bool with_total = false);

/// The words of the same message, whole, handed to `put` piece by piece as they are made (the dump's octets
/// eight at a time), the words separated by single spaces: the dump's own line breaks are left to whatever
/// lays the message out, so a message about an input of any size is never held whole.
void reader_message_words(const reader_fault& fault, std::string_view input,
                          const std::function<void(std::string_view)>& put);

/// The element reader itself: checks every header of the element at offset 0 of `input` onto `headers`,
/// as `parse_into` does, and returns nothing or the first fault. On a fault the tape holds every header
/// read before it, in reading order, each constructed one closed with the length its header announced,
/// so that what was read can be walked and shown; `headers.fault` then holds the fault's offset.
/// On success the element occupies the octets up to the end of the root's contents.
std::optional<reader_fault> check_headers(tape& headers, std::string_view input);

/// Every header of the element at offset 0 of `input` and of its contents, checked as `check_headers` checks
/// them, handed to `visit` in reading order (`value.source` is null: there is no tape). It holds only the
/// elements open, at most `max_depth` of them, so a listing of any input costs no memory per element. It
/// stops at the first fault and returns it, the same fault `check_headers` finds, after every header read
/// before it; octets after the element are not looked at.
std::optional<reader_fault> walk_headers(std::string_view input, const std::function<void(const header_view&)>& visit);

/// The first fault of the element reader in the element at offset 0 of `input`, the one `check_headers`
/// finds, with no tape and nothing held per element.
std::optional<reader_fault> first_fault(std::string_view input);

/// An element that the end of the input cuts: its entry on the tape of `read_to_cut` and the length of
/// contents its header announces.
struct cut_element {
    std::size_t index = 0;
    std::uint64_t announced = 0;
};

/// Where the input ends inside the element at offset 0.
struct cut_site {
    std::size_t offset = 0;  ///< the header of the innermost element the end cuts
    bool in_header = false;  ///< the end falls inside that header
    std::vector<cut_element> elements;  ///< the elements cut whose headers are whole, outermost first
};

/// The element reader's rules, as far as the input goes, for an input that ends inside its element at
/// offset 0 (nothing when it does not: the element fits, or its first header is refused). `headers` then
/// holds every header that lies before the end, in reading order, each element the end cuts closed where
/// the input ends. With `turn_innermost`, the innermost element cut (a header cut short included) stands on
/// the tape with its form turned and without children, so that any grammar walking the tape refuses it
/// where it stands, by its tag, and the fault names its place. The reader's other faults met before the end
/// stop the walk: the innermost element cut is then the deepest one open there. Only ever run once a
/// decode has failed: a sound input never pays for it.
std::optional<cut_site> read_to_cut(tape& headers, std::string_view input, bool turn_innermost);

/// The same walk without a tape: every header that lies before the end handed to `visit` as it is read, in
/// reading order, with the length of contents its header announces when the end cuts its element (the
/// element's contents then reach the end); `value.source` is null. The cut elements' `index` counts the
/// headers visited before them. Holds only the elements open.
std::optional<cut_site> walk_to_cut(std::string_view input,
                                    const std::function<void(const header_view&, std::optional<std::uint64_t>)>& visit);

/// One header as the element reader reads it, without its contents.
struct header_fields {
    der::tag tag;                      ///< its tag
    der::form form = form::primitive;  ///< primitive or constructed
    std::size_t size = 0;              ///< identifier and length octets
    std::uint64_t length = 0;          ///< the contents' length it announces
};

/// What `read_header_start` found at the start of its octets.
struct header_start {
    header_fields fields;               ///< the header, when there is no fault
    std::optional<header_fault> fault;  ///< the first fault of the reader's rules
    /// For a header cut short (`index_out_of_bounds`): the octets it takes at least, and whether it can
    /// only be refused whatever octets come (a length of more than eight octets).
    std::size_t needed = 0;
    bool hopeless = false;
};

/// The header at the start of `octets`, which may hold the start of an element only (a stream being
/// read): checked as `parse` checks it, but for its contents, which need not be there.
header_start read_header_start(std::string_view octets);

/// What `parse_into` returns: the element at offset 0 and the octets it occupies.
struct parsed_root {
    element root;          ///< the element at offset 0, read from the caller's tape
    std::size_t size = 0;  ///< octets the element occupies from offset 0 of the input
};

/// `parse` into a tape that the caller owns: its entries are replaced and its storage is reused, so that
/// a caller that parses many inputs allocates nothing once the tape is large enough. The elements returned
/// are read from `headers` and view `input`: keep both alive, and unchanged, while they are used.
result<parsed_root> parse_into(tape& headers, std::string_view input);

/// A tape lent for the length of one decode: the calling thread's spare tape when it is free (its storage
/// kept between decodes, up to a small bound, so that decoding a small value allocates no tape), else a
/// tape of its own.
class tape_lease {
public:
    tape_lease();
    ~tape_lease();
    tape_lease(const tape_lease&) = delete;
    tape_lease& operator=(const tape_lease&) = delete;
    /// The tape lent.
    tape& get() { return *tape_; }

private:
    tape* tape_;
    bool spare_;
    tape own_;
};

/// Walks the children of a constructed element, left to right. For an element of `parse` every step reads
/// the tape (constant time, no header decoded); for one read in one pass, the next header is read and
/// checked where it stands; for an element built by hand, its contents are read with the checking header
/// reader, and an unreadable rest ends the walk as one last element.
struct child_cursor {
    const der::tape* source = nullptr;  ///< the tape, for an element of `parse` or of a pass
    std::size_t index = 0;  ///< the tape entry of the next child
    std::size_t end = 0;    ///< the entry after the parent's subtree
    std::size_t at = 0;     ///< the input offset of the next child's header
    std::size_t contents_end = 0;  ///< (in a pass) the input offset where the parent's contents end
    std::string_view rest;  ///< (by hand) the contents not yet read
    std::size_t depth = 0;  ///< (in a pass) the children's level
    /// How the children are read, known once for the walk: the decoders' pass first.
    enum class reading : std::uint8_t { in_pass, from_tape, by_hand } how = reading::by_hand;

    /// A cursor at the first child of `parent`.
    explicit child_cursor(const element& parent)
        : source(parent.source), index(parent.index + 1), end(parent.end),
          at(source ? static_cast<std::size_t>(parent.contents.data() - source->input.data()) : 0),
          contents_end(at + parent.contents.size()), rest(source ? std::string_view() : parent.contents),
          depth(parent.depth + 1),
          how(!source ? reading::by_hand : source->one_pass ? reading::in_pass : reading::from_tape) {}
    /// Whether every child has been read.
    bool done() const {
        if (how == reading::in_pass) [[likely]] return at == contents_end;
        return how == reading::from_tape ? index == end : rest.empty();
    }
    /// The next child; must not be called when done().
    element next() {
        if (how == reading::in_pass) [[likely]] return next_in_pass(true);
        if (how == reading::by_hand) return next_by_hand();
        element e = detail::read_entry(*source, index, at);
        index = e.end;
        at = static_cast<std::size_t>(e.contents.data() - source->input.data()) + e.contents.size();
        return e;
    }
    /// The next child without consuming it; must not be called when done().
    element peek() const {
        if (how == reading::in_pass) [[likely]] return child_cursor(*this).next_in_pass(false);
        if (how == reading::by_hand) return child_cursor(*this).next_by_hand();
        return detail::read_entry(*source, index, at);
    }
    /// The children not yet read, counted without reading them.
    std::size_t remaining() const;

private:
    element next_by_hand();
    // The next child of a pass, its header checked; `counted` adds its octets to the pass's.
    [[gnu::always_inline]] element next_in_pass(bool counted) {
        std::uint8_t identifier;
        std::size_t length;
        if (depth > max_depth || !detail::read_short_header(source->input, at, contents_end, identifier, length))
            [[unlikely]]
            return next_in_pass_general(counted);
        const std::size_t begin = at + detail::short_header_size;
        at = begin + length;
        const form f = header_octets::form_of(identifier);
        if (counted) source->covered += f == form::primitive ? detail::short_header_size + length : detail::short_header_size;
        // Made where it is returned: an element assembled apart and then copied costs stalled loads.
        return element{header_octets::tag_of(identifier), f, std::string_view(source->input.data() + begin, length),
                       source, 0, 0, detail::short_header_size, depth};
    }
    element next_in_pass_general(bool counted);
};

/// Begins a decode of the element at offset 0 of `input` in one pass: readies `headers` for it (no entry is
/// written) and reads the outermost header, checked. Its fault, if any, is the reader's first, and is left
/// on `headers.fault`. The grammar that walks the element then checks each header as it reaches it; or,
/// with `headers_first`, every header of the element is checked now, the first fault returned.
std::expected<element, reader_fault> begin_pass(tape& headers, std::string_view input, bool headers_first = false);

/// Ends a decode begun with `begin_pass` on the outermost element `root`: the element reader's first fault
/// in the element, whatever the grammar made of it (so that a byte rule broken anywhere wins over a
/// grammar's refusal), left on `headers.fault`. Free when the grammar read every header and met no fault;
/// else (a refusal, a fault met) the headers are checked again from the start: failure paths alone.
std::optional<reader_fault> finish_pass(tape& headers, const element& root);

/// The octets that `root`, read at offset 0 of its input, occupies.
inline std::size_t root_size(const element& root) { return root.header_size + root.contents.size(); }

/// All children of a constructed element.
std::vector<element> children(const element& parent);

/// The element list of messages: "[" item texts separated by "," and a break "]"; a break prints as a
/// space unless the line would pass the 78-column margin, when it becomes a line feed and indentation.
/// `column` is the column at which the list begins.
std::string element_list(const std::vector<element>& elements, std::size_t column);

/// `prefix` followed by the element list of the children that `from` has not read yet, the list beginning
/// at the column after the prefix: built in one string of exactly its final size, whatever the number of
/// children.
std::string element_list(std::string_view prefix, child_cursor from);

}  // namespace quarvel::der
