#pragma once
// Grammar combinators: one declaration of an ASN.1 type drives both directions.
//
// A grammar G is a small value with
//   value_type                          what decoding yields (owned model values);
//   tags()                              its tag set, used to recognise optional elements and alternatives;
//   ambiguity()                         the first violation of the ambiguity rules inside it, if any;
//   decode(element)                     the element tree (already checked by `parse`) to a value;
//   emit(v, pass)                       encoding: one walk, run twice (see `count_pass`, `write_pass`):
//                                       the first pass computes every constructed element's length into
//                                       a plan, the second writes each header once and the contents after
//                                       it, into one buffer.
// Encoding takes any value shaped like value_type (a tuple of references for a sequence, any range for
// a SEQUENCE OF, any variant for a choice, anything convertible to std::string_view for a UTF8String), so
// a `map` can hand the writer views of a model value instead of copies. The value is walked twice (sizes,
// then octets), so ranges must be re-iterable and a map's encoding function must give the same answer
// both times. Labels are kept as views: give string literals.
//
// Tag sets and recognisers are computed when a grammar is built; `codec` checks ambiguity once, when it
// is built. Decoding walks the element tree once (`begin_pass`), each header checked as it is reached;
// every grammar that accepts a constructed element reads all of its children, so a decode that succeeds
// has checked every header, and one that fails checks the rest before it answers, so that a broken byte
// rule anywhere wins over the grammar's refusal (`finish_pass`).
//
// A grammar's type nests the types of everything inside it. A named grammar is therefore a `rule`: a
// handle whose decode and emit are compiled once, in the source file that defines it, and whose
// type says only what it reads and writes. The combinators describe what lies inside a rule.

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include <quarvel/der_result.hpp>
#include <quarvel/der_time.hpp>

#include <der/consumption_hooks.hpp>
#include <der/element.hpp>
#include <der/primitives.hpp>
#include <der/short_name.hpp>
#include <der/tag.hpp>
#include <der/writer.hpp>

namespace quarvel::der {

// A small set of tags, held inline: building one allocates nothing, so a grammar's constructor is a few
// stores. The largest set in use is the union of the command CHOICE's alternatives.
struct tag_set {
    static constexpr std::size_t capacity = 32;
    std::array<tag, capacity> tags{};
    std::size_t count = 0;

    tag_set() = default;
    explicit tag_set(tag t) : count(1) { tags[0] = t; }

    const tag* begin() const { return tags.data(); }
    const tag* end() const { return tags.data() + count; }

    bool contains(tag t) const {
        for (const tag& x : *this)
            if (x == t) return true;
        return false;
    }
    bool disjoint(const tag_set& other) const {
        for (const tag& x : other)
            if (contains(x)) return false;
        return true;
    }
    void add(const tag_set& other) {
        for (const tag& x : other)
            if (!contains(x)) {
                if (count == capacity) overflow();
                tags[count++] = x;
            }
    }
    friend bool operator==(const tag_set& a, const tag_set& b) {
        if (a.count != b.count) return false;
        for (std::size_t i = 0; i < a.count; ++i)
            if (a.tags[i] != b.tags[i]) return false;
        return true;
    }

private:
    // A grammar whose union needs more room is a programming error, met when it is first built.
    [[noreturn, gnu::cold]] static void overflow() {
        std::fputs("tag_set: more than 32 tags\n", stderr);
        std::abort();
    }
};

// Lengths of the constructed elements of one value, in the order the writer meets them.
struct size_plan {
    std::vector<std::size_t> lengths;
    std::size_t next = 0;

    std::size_t reserve() {
        lengths.push_back(0);
        return lengths.size() - 1;
    }
    void set(std::size_t slot, std::size_t length) { lengths[slot] = length; }
    std::size_t take() { return lengths[next++]; }
};

// The two passes of an encoding over the same walk, `emit(v, pass)`; a pass is a pair of references,
// handed on by value (in registers). Counting, a constructed element
// reserves its slot in the plan when it opens and fills in its contents' length when it closes, and every
// element returns the octets it takes; writing, a constructed element writes its header when it opens,
// the length taken from the plan, and every element returns 0.
struct count_pass {
    static constexpr bool counts = true;
    size_plan& plan;

    std::size_t open(tag) { return plan.reserve(); }
    std::size_t close(tag t, std::size_t slot, std::size_t n) {
        plan.set(slot, n);
        return header_size(t, n) + n;
    }
};
struct write_pass {
    static constexpr bool counts = false;
    size_plan& plan;
    std::string& out;

    std::size_t open(tag t) {
        write_header(out, t, form::constructed, plan.take());
        return 0;
    }
    static constexpr std::size_t close(tag, std::size_t, std::size_t) { return 0; }
};

// Messages of the grammar layer (compiled once, in the library).
std::string type_mismatch(form expected_form, tag expected, const element& got);

namespace detail {

inline constexpr std::string_view sequence_trailing = "SEQUENCE: trailing: ";

// Where a decode failed (`tape::fault`), written on failure paths alone. A composite grammar whose part
// fails marks the part's element, unless an element inside it was marked already, and adds the part's
// step; so the innermost element refused is the one at fault, and the path grows outwards.
[[gnu::cold]] void fault_at(const element& e);
[[gnu::cold]] void fault_at(const element& e, path_step step);
// Only the step: a member that is missing has no element of its own.
[[gnu::cold]] void fault_step(const tape* source, path_step step);
// Marks `item`, a child of the list `list`, with its place among the children, and gives `message`
// back as the list's failure.
[[gnu::cold]] std::unexpected<std::string> item_refused(const element& list, const element& item, std::string&& message);

// The parts of a composite grammar (a SEQUENCE's elements, a CHOICE's alternatives): a plain aggregate
// of indexed members, much lighter to instantiate than std::tuple, which each grammar type would
// otherwise carry with all its machinery.
template <std::size_t I, class T>
struct part {
    T value;
};

template <class Indices, class... Ts>
struct parts_of;

template <std::size_t... Is, class... Ts>
struct parts_of<std::index_sequence<Is...>, Ts...> : part<Is, Ts>... {
    // Whether `f` holds for some part, tried in order up to the first that does.
    template <class F>
    bool any(F&& f) const {
        return (... || f(static_cast<const part<Is, Ts>&>(*this).value));
    }
    // `f` of every part, in order, as an array.
    template <class R, class F>
    std::array<R, sizeof...(Ts)> each(F&& f) const {
        return {f(static_cast<const part<Is, Ts>&>(*this).value)...};
    }
};

template <class... Ts>
using parts = parts_of<std::index_sequence_for<Ts...>, Ts...>;

// Part I.
template <std::size_t I, class T>
const T& get(const part<I, T>& p) {
    return p.value;
}
template <std::size_t I, class T>
T& get(part<I, T>& p) {
    return p.value;
}
// The type of part I.
template <std::size_t I, class T>
T part_type(const part<I, T>&);
template <std::size_t I, class P>
using part_t = decltype(part_type<I>(std::declval<const P&>()));

// Element I of the value a SEQUENCE writes: parts, or any tuple.
template <std::size_t I, class V>
decltype(auto) element_of(const V& v) {
    if constexpr (requires { detail::get<I>(v); })
        return detail::get<I>(v);
    else
        return std::get<I>(v);
}

// Whether `e` has tag `t` and form `f`: the first check of every grammar's decode.
inline bool matches(const element& e, tag t, form f) { return e.tag == t && e.form == f; }

// Calls `Arms::arm<I>(args...)` for the one I equal to `index`, which is below N. A few arms are tried
// in turn, inline; more go through a table of one function per arm. The arms are static member templates
// of a type named by the caller, not lambdas: a lambda of a grammar's member would spell out the
// grammar's whole type in the debugging name of every instance.
template <std::size_t N, class Arms, std::size_t I = 0, class... Args>
decltype(auto) dispatch_in_turn(std::size_t index, Args&&... args) {
    if constexpr (I + 1 >= N) {
        return Arms::template arm<I>(std::forward<Args>(args)...);
    } else {
        if (index == I) return Arms::template arm<I>(std::forward<Args>(args)...);
        return dispatch_in_turn<N, Arms, I + 1>(index, std::forward<Args>(args)...);
    }
}

template <std::size_t N, class Arms, class... Args>
decltype(auto) dispatch(std::size_t index, Args&&... args) {
    if constexpr (N <= 4) {
        return dispatch_in_turn<N, Arms>(index, std::forward<Args>(args)...);
    } else {
        using R = decltype(Arms::template arm<0>(std::forward<Args>(args)...));
        static constexpr auto table = []<std::size_t... I>(std::index_sequence<I...>) {
            return std::array<R (*)(Args...), N>{&Arms::template arm<I>...};
        }(std::make_index_sequence<N>{});
        return table[index](std::forward<Args>(args)...);
    }
}

// What a `map`'s decoding function yields: a result<U> or a plain U.
template <class R>
struct map_value {
    using type = R;
    static constexpr bool is_result = false;
};
template <class U>
struct map_value<std::expected<U, std::string>> {
    using type = U;
    static constexpr bool is_result = true;
};

// Asks the system to back the memory at `address` with large pages where it can: a list of millions of
// items then costs a few page faults instead of one every 4 KiB. A hint; nothing changes where it is not
// taken.
void prefer_large_pages(void* address, std::size_t size);

// Reserves room for a list decoded from the children of `list`, so that a long list is neither regrown nor
// moved. A short list's children are counted. A long one's are not, as that would be a pass over the whole
// list before its decode: room for as many as its contents could hold is reserved instead, two octets
// each (a header); pages of the reservation that are never written cost no memory. Only when that much
// address space cannot be had are the children counted after all, and when hostile input packs more of
// them than it takes, the reservation stays within the octets of the list.
inline constexpr std::size_t counted_list_octets = std::size_t{1} << 16;

template <class Vector>
void reserve_children(Vector& out, const child_cursor& children, const element& list) {
    if (list.contents.size() > counted_list_octets) {
        try {
            out.reserve(list.contents.size() / 2);
            prefer_large_pages(out.data(), out.capacity() * sizeof(typename Vector::value_type));
            return;
        } catch (const std::exception&) {
        }
    }
    const std::size_t count = children.remaining();
    try {
        out.reserve(count);
    } catch (const std::exception&) {
        const std::size_t within = list.contents.size() / sizeof(typename Vector::value_type) + 1;
        out.reserve(count < within ? count : within);
    }
}

// What a CHOICE's alternatives, given by their tag sets, have in common: the union of their tags; the
// message for the first tag two of them share; the alternative that reads a tag (the last one, which
// reports the mismatch, when none does).
tag_set union_of(std::span<const tag_set> alternatives);

std::optional<std::string> shared_tag(std::span<const tag_set> alternatives);

// The ambiguity rule of a SEQUENCE's elements, given by their tag sets: optional elements met since the
// last required one must be told apart from each other and from whatever follows them; optional
// elements at the end only from each other.
std::optional<std::string> optional_shares_tag(std::span<const tag_set> elements, std::span<const bool> is_optional,
                                               std::span<const std::string_view> labels);

// Why `e` is not the EXPLICIT tag `t` holding exactly one element.
std::string explicit_refusal(const element& e, tag t);

// A composite's ambiguity is the first one found among its parts: `found` takes `next` unless it holds
// one already. True once one is found, so that a fold over the parts stops there.
bool keep_first(std::optional<std::string>& found, std::optional<std::string>&& next);

inline std::size_t alternative_for(std::span<const tag_set> alternatives, tag t) {
    for (std::size_t i = 0; i < alternatives.size(); ++i)
        if (alternatives[i].contains(t)) return i;
    return alternatives.size() - 1;
}

// A list's encoding, each item through `item`.
template <class G, class V, class Pass>
std::size_t emit_list(tag t, const G& item, const V& items, Pass pass) {
    const std::size_t slot = pass.open(t);
    std::size_t n = 0;
    for (const auto& x : items) n += item.emit(x, pass);
    return pass.close(t, slot, n);
}

// What a list keeps of an item's value V: all of it, or (`present_only`) the value inside the optional V.
template <class V, bool present_only>
struct list_item {
    using type = V;
};
template <class V>
struct list_item<V, true> {
    using type = typename V::value_type;
};

// Primitive types: how their contents read and write.
struct utf8_traits {
    using value_type = std::string;
    static constexpr tag default_tag = tags::utf8_string;
    static constexpr form expected_form = form::any;
    static result<value_type> read(std::string_view contents) { return result<value_type>(std::in_place, contents); }
    static std::size_t content_size(std::string_view v) { return v.size(); }
    static void write(std::string& out, std::string_view v) { out.append(v); }
};
// A UTF8String read in place: a view of the contents, valid while the parsed input lives.
struct utf8_view_traits : utf8_traits {
    using value_type = std::string_view;
    static result<value_type> read(std::string_view contents) { return contents; }
};
struct integer_traits {
    using value_type = std::int64_t;
    static constexpr tag default_tag = tags::integer;
    static constexpr form expected_form = form::primitive;
    static result<value_type> read(std::string_view contents) {
        std::int64_t value;
        if (read_integer_inline(contents, value)) [[likely]] return value;
        return read_integer(contents);
    }
    static std::size_t content_size(std::int64_t v) { return integer_size(v); }
    static void write(std::string& out, std::int64_t v) { write_integer(out, v); }
};
struct null_traits {
    using value_type = std::monostate;
    static constexpr tag default_tag = tags::null;
    static constexpr form expected_form = form::primitive;
    static result<value_type> read(std::string_view contents) { return read_null(contents); }
    // Any value stands for NULL's nothing (std::monostate, std::nullopt_t, an empty tuple, ...).
    template <class V>
    static std::size_t content_size(const V&) { return 0; }
    template <class V>
    static void write(std::string&, const V&) {}
};
struct utc_time_traits {
    using value_type = timestamp;
    static constexpr tag default_tag = tags::utc_time;
    static constexpr form expected_form = form::any;
    static result<value_type> read(std::string_view contents) { return read_utc_time(contents); }
    static std::size_t content_size(timestamp t) { return utc_time_size(t); }
    static void write(std::string& out, timestamp t) { write_utc_time(out, t); }
};
struct generalized_time_traits {
    using value_type = timestamp;
    static constexpr tag default_tag = tags::generalized_time;
    static constexpr form expected_form = form::any;
    static result<value_type> read(std::string_view contents) { return read_generalized_time(contents); }
    static std::size_t content_size(timestamp t) { return generalized_time_size(t); }
    static void write(std::string& out, timestamp t) { write_generalized_time(out, t); }
};

}  // namespace detail

// ---------------------------------------------------------------------------------------------------
// Primitives: `utf8_string`, `int_`, `null`, `utc_time`, `generalized_time`. UTCTime and GeneralizedTime
// are the character-string primitive implicitly tagged 23 and 24 and mapped between text and timestamp;
// their contents conversion is done directly here, without an intermediate string.

template <class Traits>
struct primitive_grammar {
    using value_type = typename Traits::value_type;
    tag t = Traits::default_tag;

    tag_set tags() const { return tag_set(t); }
    std::optional<std::string> ambiguity() const { return std::nullopt; }
    primitive_grammar with_tag(tag nt) const { return {nt}; }

    result<value_type> decode(const element& e) const {
        if (!detail::matches(e, t, form::primitive)) [[unlikely]] {
            detail::fault_at(e);
            return error(type_mismatch(Traits::expected_form, t, e));
        }
        return Traits::read(e.contents);
    }
    template <class V, class Pass>
    std::size_t emit(const V& v, Pass pass) const {
        const std::size_t n = Traits::content_size(v);
        if constexpr (Pass::counts) {
            return header_size(t, n) + n;
        } else {
            write_header(pass.out, t, form::primitive, n);
            Traits::write(pass.out, v);
            return 0;
        }
    }
};

inline constexpr primitive_grammar<detail::utf8_traits> utf8_string{};
inline constexpr primitive_grammar<detail::utf8_view_traits> utf8_view{};  // its value a view of the input
inline constexpr primitive_grammar<detail::integer_traits> int_{};  // the `int` combinator
inline constexpr primitive_grammar<detail::null_traits> null{};
inline constexpr primitive_grammar<detail::utc_time_traits> utc_time{};
inline constexpr primitive_grammar<detail::generalized_time_traits> generalized_time{};

// ---------------------------------------------------------------------------------------------------
// Elements of a sequence.

template <class G>
struct required_t {
    using grammar_type = G;
    using value_type = typename G::value_type;
    static constexpr bool is_optional = false;
    std::string_view label;
    G grammar;
};

template <class G>
struct optional_t {
    using grammar_type = G;
    using value_type = std::optional<typename G::value_type>;
    static constexpr bool is_optional = true;
    std::string_view label;
    G grammar;
};

template <class G>
constexpr required_t<G> required(std::string_view label, G grammar) {
    return {label, std::move(grammar)};
}
template <class G>
constexpr optional_t<G> optional(std::string_view label, G grammar) {
    return {label, std::move(grammar)};
}

// ---------------------------------------------------------------------------------------------------
// SEQUENCE of labelled elements; the value is the tuple of the element values, in element order.

template <class... Es>
struct sequence_t {
    static constexpr std::size_t count = sizeof...(Es);
    using value_type = std::tuple<typename Es::value_type...>;

    detail::parts<Es...> elements;
    std::array<tag_set, count> element_tags;
    tag t = tags::sequence;

    explicit sequence_t(Es... es) : elements{{es}...}, element_tags{es.grammar.tags()...} {}

    tag_set tags() const { return tag_set(t); }
    sequence_t with_tag(tag nt) const {
        sequence_t copy = *this;
        copy.t = nt;
        return copy;
    }

    std::optional<std::string> ambiguity() const {
        std::optional<std::string> found;
        elements.any([&](const auto& e) { return detail::keep_first(found, e.grammar.ambiguity()); });
        if (found) return found;
        static constexpr std::array<bool, count> is_optional{Es::is_optional...};
        const auto labels = elements.template each<std::string_view>([](const auto& e) { return e.label; });
        return detail::optional_shares_tag(element_tags, is_optional, labels);
    }

    result<value_type> decode(const element& e) const {
        // Values are decoded into slots first, so element values need not be default-constructible.
        detail::parts<slot_type<Es>...> slots{};
        if (auto r = decode_into<false>(e, slots); !r) return error(std::move(r.error()));
        // Built in place in the result: the element values are moved once, from their slots.
        return [&]<std::size_t... I>(std::index_sequence<I...>) {
            return result<value_type>(std::in_place, take<Es>(detail::get<I>(slots))...);
        }(std::make_index_sequence<count>{});
    }

    // Decodes the elements straight into `members` (a tuple of references, one per element, in order),
    // so that each value is moved once, into its member.
    template <class Members>
    result<void> decode_members(const element& e, Members&& members) const {
        return decode_into<true>(e, members);
    }

    template <class V, class Pass>
    std::size_t emit(const V& v, Pass pass) const {
        const std::size_t slot = pass.open(t);
        // A comma fold: the elements must be met in writing order.
        std::size_t n = 0;
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            ((n += emit_element<I>(detail::element_of<I>(v), pass)), ...);
        }(std::make_index_sequence<count>{});
        return pass.close(t, slot, n);
    }

private:
    // The elements, in order, each into its place in `places`: its slot, or (`into_members`) its member.
    template <bool into_members, class Places>
    result<void> decode_into(const element& e, Places& places) const {
        if (!detail::matches(e, t, form::constructed)) return error(type_mismatch(form::constructed, t, e));
        child_cursor cursor(e);
        std::string failure;
        const bool ok = [&]<std::size_t... I>(std::index_sequence<I...>) {
            return (decode_element<I, into_members>(cursor, detail::get<I>(places), failure) && ...);
        }(std::make_index_sequence<count>{});
        if (!ok) return error(std::move(failure));
        if (!cursor.done()) [[unlikely]] {
            detail::fault_at(cursor.peek());
            return error(element_list(detail::sequence_trailing, cursor));
        }
        return {};
    }

    // A required element's value is held in an optional until every element has decoded.
    template <class E>
    using slot_type = std::conditional_t<E::is_optional, typename E::value_type, std::optional<typename E::value_type>>;

    template <class E>
    static typename E::value_type&& take(slot_type<E>& slot) {
        if constexpr (E::is_optional) {
            return std::move(slot);
        } else {
            return std::move(*slot);
        }
    }

    // Decodes element I into `slot`: its slot (an optional) or, `into_member`, the member that holds it.
    template <std::size_t I, bool into_member, class Slot>
    bool decode_element(child_cursor& cursor, Slot& slot, std::string& failure) const {
        const auto& el = detail::get<I>(elements);
        constexpr bool is_optional = std::remove_cvref_t<decltype(el)>::is_optional;
        if constexpr (is_optional) {
            if (cursor.done() || !element_tags[I].contains(cursor.peek().tag)) return true;
        } else if (cursor.done()) {
            detail::fault_step(cursor.source, {el.label});
            failure = "SEQUENCE: missing required: ";
            failure += el.label;
            return false;
        }
        const element child = cursor.next();
        auto r = el.grammar.decode(child);
        if (!r) [[unlikely]] {
            detail::fault_at(child, {el.label});
            failure = std::move(r.error());
            return false;
        }
        // A required element's member holds the value itself; every other slot is an optional.
        if constexpr (into_member && !is_optional)
            slot = std::move(*r);
        else
            slot.emplace(std::move(*r));
        return true;
    }

    template <std::size_t I, class V, class Pass>
    std::size_t emit_element(const V& v, Pass pass) const {
        const auto& el = detail::get<I>(elements);
        if constexpr (std::remove_cvref_t<decltype(el)>::is_optional) {
            return v ? el.grammar.emit(*v, pass) : 0;
        } else {
            return el.grammar.emit(v, pass);
        }
    }
};

// The chain form has no length limit; the numbered forms name the counts the system's grammars use.
template <class... Es>
sequence_t<Es...> sequence(Es... es) {
    return sequence_t<Es...>(std::move(es)...);
}
template <class E1, class E2>
auto sequence2(E1 a, E2 b) { return sequence(a, b); }
template <class E1, class E2, class E3>
auto sequence3(E1 a, E2 b, E3 c) { return sequence(a, b, c); }
template <class E1, class E2, class E3, class E4>
auto sequence4(E1 a, E2 b, E3 c, E4 d) { return sequence(a, b, c, d); }
template <class E1, class E2, class E3, class E4, class E5, class E6>
auto sequence6(E1 a, E2 b, E3 c, E4 d, E5 e, E6 f) { return sequence(a, b, c, d, e, f); }

// ---------------------------------------------------------------------------------------------------
// SEQUENCE OF: the list of the item values, in order. Of items that may read as nothing (`present_only`,
// an item grammar whose value is an optional), the list of the values that are present, in order.
// Either way the items are decoded straight into the list and written from values; a failing item is
// marked with its place among the children, and the end of each item decoded is reported to the
// consumption watch of the decode, if it has one.

template <class G, bool present_only = false>
struct sequence_of_t {
    using item_type = typename detail::list_item<typename G::value_type, present_only>::type;
    using value_type = std::vector<item_type>;
    G item;
    tag t = tags::sequence;

    tag_set tags() const { return tag_set(t); }
    std::optional<std::string> ambiguity() const { return item.ambiguity(); }
    sequence_of_t with_tag(tag nt) const { return {item, nt}; }

    result<value_type> decode(const element& e) const {
        if (!detail::matches(e, t, form::constructed)) return error(type_mismatch(form::constructed, t, e));
        child_cursor cursor(e);
        value_type out;
        detail::reserve_children(out, cursor, e);
        consumption_watch* const watch = e.source ? e.source->watch : nullptr;
        while (!cursor.done()) {
            const element child = cursor.next();
            if constexpr (present_only) {
                auto r = item.decode(child);
                if (!r) [[unlikely]] return detail::item_refused(e, child, std::move(r.error()));
                if (*r) out.push_back(std::move(**r));
            } else if constexpr (requires(item_type& v) { item.decode_into(child, v); }) {
                // Decoded in place, in the list's own storage.
                auto r = item.decode_into(child, out.emplace_back());
                if (!r) [[unlikely]] return detail::item_refused(e, child, std::move(r.error()));
            } else {
                auto r = item.decode(child);
                if (!r) [[unlikely]] return detail::item_refused(e, child, std::move(r.error()));
                out.push_back(std::move(*r));
            }
            if (watch) report_item_done(*watch, child.contents.data() + child.contents.size());
        }
        return out;
    }

    template <class V, class Pass>
    std::size_t emit(const V& items, Pass pass) const {
        return detail::emit_list(t, item, items, pass);
    }
};

template <class G>
constexpr sequence_of_t<G> sequence_of(G item) {
    return {std::move(item)};
}
template <class G>
constexpr sequence_of_t<G, true> sequence_of_present(G item) {
    return {std::move(item)};
}

// ---------------------------------------------------------------------------------------------------
// EXPLICIT tag: a constructed element holding exactly one inner element.

template <class G>
struct explicit_t {
    using value_type = typename G::value_type;
    tag t;
    G inner;

    tag_set tags() const { return tag_set(t); }
    std::optional<std::string> ambiguity() const { return inner.ambiguity(); }
    explicit_t with_tag(tag nt) const { return {nt, inner}; }

    result<value_type> decode(const element& e) const {
        element only;
        if (!only_inner(e, only)) return error(detail::explicit_refusal(e, t));
        return inner.decode(only);
    }
    // Decodes into `out` when the inner grammar can (see `aggregate_t::decode_into`).
    template <class V>
        requires requires(const G& g, const element& x, V& v) { g.decode_into(x, v); }
    result<void> decode_into(const element& e, V& out) const {
        element only;
        if (!only_inner(e, only)) return error(detail::explicit_refusal(e, t));
        return inner.decode_into(only, out);
    }

    template <class V, class Pass>
    std::size_t emit(const V& v, Pass pass) const {
        const std::size_t slot = pass.open(t);
        const std::size_t n = inner.emit(v, pass);
        return pass.close(t, slot, n);
    }

private:
    // Whether `e` is this tag holding exactly one element, `only`.
    bool only_inner(const element& e, element& only) const {
        if (!detail::matches(e, t, form::constructed)) return false;
        child_cursor cursor(e);
        if (cursor.done()) return false;
        only = cursor.next();
        return cursor.done();
    }
};

// `explicit` with class CONTEXT (the system's only use), or with any tag.
template <class G>
explicit_t<G> explicit_(std::uint64_t number, G inner) {
    return {context(number), std::move(inner)};
}
template <class G>
explicit_t<G> explicit_(tag t, G inner) {
    return {t, std::move(inner)};
}

// ---------------------------------------------------------------------------------------------------
// CHOICE. Every form of it stands on one core: the alternatives and their tag sets, the ambiguity
// check, and the alternative that reads an element: the first whose tag set holds the element's tag,
// else the last one, whose error is then reported. The forms differ only in what they make of the
// chosen alternative's value and in which alternative writes a value:
//   choice(g...)                 a variant indexed by alternative, written by the alternative it holds;
//   one_of<W>(g...)              alternatives that all read the same type: the value itself, written by W;
//   enumerated(values, choice)   a CHOICE of NULLs read as an enumeration, written by the value's index;
//   variant_choice<Model>(...)   alternatives that read into a model's variant, each naming what it writes.

namespace detail {

template <class... Gs>
struct choice_core {
    static constexpr std::size_t count = sizeof...(Gs);
    parts<Gs...> alternatives;
    std::array<tag_set, count> alternative_tags;

    explicit choice_core(Gs... gs) : alternatives{{gs}...}, alternative_tags{gs.tags()...} {}

    tag_set tags() const { return union_of(alternative_tags); }

    std::optional<std::string> ambiguity() const {
        std::optional<std::string> found;
        alternatives.any([&](const auto& g) { return keep_first(found, g.ambiguity()); });
        if (found) return found;
        return shared_tag(alternative_tags);
    }

    template <std::size_t I>
    const auto& alternative() const {
        return get<I>(alternatives);
    }

    // Decodes `e` with the alternative that reads it: `Arms::arm<I>(form, e)` for that alternative I.
    template <class Arms, class Form>
    auto decode(const Form& form, const element& e) const {
        return dispatch<count, Arms>(alternative_for(alternative_tags, e.tag), form, e);
    }
};

}  // namespace detail

// A variant left valueless by an exception has no encoding, and encoders cannot fail: writing one is a
// programming error. Writes what happened on standard error and aborts, in every build, rather than throw
// out of an encoder.
[[noreturn]] void refuse_valueless();

template <class... Gs>
struct choice_t {
    static constexpr std::size_t count = sizeof...(Gs);
    using value_type = std::variant<typename Gs::value_type...>;

    detail::choice_core<Gs...> core;

    explicit choice_t(Gs... gs) : core(std::move(gs)...) {}

    tag_set tags() const { return core.tags(); }
    // A CHOICE cannot be implicitly tagged: the tag becomes explicit.
    explicit_t<choice_t> with_tag(tag nt) const { return {nt, *this}; }
    std::optional<std::string> ambiguity() const { return core.ambiguity(); }

    result<value_type> decode(const element& e) const { return core.template decode<arms>(*this, e); }

    template <class V, class Pass>
    std::size_t emit(const V& v, Pass pass) const {
        static_assert(std::variant_size_v<V> == count, "the written variant must have one alternative per choice alternative");
        if (v.valueless_by_exception()) refuse_valueless();
        return detail::dispatch<count, arms>(v.index(), *this, v, Pass(pass));
    }

private:
    struct arms {
        template <std::size_t I>
        static result<value_type> arm(const choice_t& self, const element& e) {
            auto r = self.core.template alternative<I>().decode(e);
            if (!r) return error(std::move(r.error()));
            return value_type(std::in_place_index<I>, std::move(*r));
        }
        template <std::size_t I, class V, class Pass>
        static std::size_t arm(const choice_t& self, const V& v, Pass pass) {
            return self.core.template alternative<I>().emit(std::get<I>(v), pass);
        }
    };
};

template <class... Gs>
choice_t<Gs...> choice(Gs... gs) {
    return choice_t<Gs...>(std::move(gs)...);
}
template <class G1, class G2>
auto choice2(G1 a, G2 b) { return choice(a, b); }
template <class G1, class G2, class G3, class G4>
auto choice4(G1 a, G2 b, G3 c, G4 d) { return choice(a, b, c, d); }

// one_of<W>: a CHOICE whose alternatives all read the same type, read as the value itself (no variant in
// between), and written by alternative W.
template <std::size_t W, class... Gs>
struct one_of_t {
    static constexpr std::size_t count = sizeof...(Gs);
    using value_type = typename std::tuple_element_t<0, std::tuple<Gs...>>::value_type;
    static_assert((std::is_same_v<typename Gs::value_type, value_type> && ...),
                  "one_of: every alternative reads the same type");
    static_assert(W < count, "one_of: the writing alternative is one of them");

    detail::choice_core<Gs...> core;

    explicit one_of_t(Gs... gs) : core(std::move(gs)...) {}

    tag_set tags() const { return core.tags(); }
    // Like a CHOICE, it cannot be implicitly tagged: the tag becomes explicit.
    explicit_t<one_of_t> with_tag(tag nt) const { return {nt, *this}; }
    std::optional<std::string> ambiguity() const { return core.ambiguity(); }

    result<value_type> decode(const element& e) const { return core.template decode<arms>(*this, e); }

    template <class V, class Pass>
    std::size_t emit(const V& v, Pass pass) const {
        return core.template alternative<W>().emit(v, pass);
    }

private:
    struct arms {
        template <std::size_t I>
        static result<value_type> arm(const one_of_t& self, const element& e) {
            return self.core.template alternative<I>().decode(e);
        }
    };
};

template <std::size_t W, class... Gs>
one_of_t<W, Gs...> one_of(Gs... gs) {
    return one_of_t<W, Gs...>(std::move(gs)...);
}

// enumerated(values, choice(nulls...)): an enumeration written as a CHOICE of NULLs, `values[i]` being the
// value of the i-th alternative: read and written by the alternative's index, with no variant in between;
// recognition, messages and octets are the choice's.
template <class E, class... Gs>
struct enumeration_t {
    static constexpr std::size_t count = sizeof...(Gs);
    using value_type = E;
    std::array<E, count> values;
    detail::choice_core<Gs...> core;

    tag_set tags() const { return core.tags(); }
    std::optional<std::string> ambiguity() const { return core.ambiguity(); }

    result<E> decode(const element& e) const { return core.template decode<arms>(*this, e); }
    template <class Pass>
    std::size_t emit(E value, Pass pass) const {
        return detail::dispatch<count, arms>(index_of(value), *this, Pass(pass));
    }

private:
    // The alternative that writes `value`: the first that reads as it (the first one when none does).
    std::size_t index_of(E value) const {
        for (std::size_t i = 0; i < count; ++i)
            if (values[i] == value) return i;
        return 0;
    }

    struct arms {
        template <std::size_t I>
        static result<E> arm(const enumeration_t& self, const element& e) {
            auto r = self.core.template alternative<I>().decode(e);
            if (!r) return error(std::move(r.error()));
            return self.values[I];
        }
        template <std::size_t I, class Pass>
        static std::size_t arm(const enumeration_t& self, Pass pass) {
            return self.core.template alternative<I>().emit(std::monostate{}, pass);
        }
    };
};

template <class E, class... Gs>
enumeration_t<E, Gs...> enumerated(std::array<E, sizeof...(Gs)> values, choice_t<Gs...> nulls) {
    return {values, std::move(nulls.core)};
}

// ---------------------------------------------------------------------------------------------------
// map f h g: g's encoding for values of another type. f turns g's value into a result (calling `error`
// to refuse it); h turns a value into something g can write, preferably views of its fields.

template <class F, class H, class G>
struct map_t {
    using decoded = detail::map_value<std::invoke_result_t<const F&, typename G::value_type&&>>;
    using value_type = typename decoded::type;
    F f;
    H h;
    G inner;

    tag_set tags() const { return inner.tags(); }
    std::optional<std::string> ambiguity() const { return inner.ambiguity(); }
    auto with_tag(tag nt) const {
        using I = decltype(inner.with_tag(nt));
        return map_t<F, H, I>{f, h, inner.with_tag(nt)};
    }

    result<value_type> decode(const element& e) const {
        auto r = inner.decode(e);
        if (!r) return error(std::move(r.error()));
        if constexpr (decoded::is_result) {
            return f(std::move(*r));
        } else {
            return value_type(f(std::move(*r)));
        }
    }

    template <class V, class Pass>
    std::size_t emit(const V& v, Pass pass) const {
        return inner.emit(h(v), pass);
    }
};

template <class F, class H, class G>
map_t<F, H, G> map(F f, H h, G inner) {
    return {std::move(f), std::move(h), std::move(inner)};
}

// implicit: replaces the outermost tag (inside a map; a choice becomes explicitly tagged).
template <class G>
auto implicit(tag t, const G& g) {
    return g.with_tag(t);
}
template <class G>
auto implicit(std::uint64_t number, const G& g) {
    return g.with_tag(context(number));
}

// ---------------------------------------------------------------------------------------------------
// aggregate<T> g: g's value as the struct T, member by member in declaration order: a sequence's tuple
// gives the members, any other value the one member, NULL's nothing a T without members. T is written
// back through views of its members.

namespace detail {

template <class V>
struct is_tuple : std::false_type {};
template <class... Ts>
struct is_tuple<std::tuple<Ts...>> : std::true_type {};

// References to the N members of `v`, in declaration order (const references for a const `v`).
template <class... Ms>
auto views_of(Ms&... members) {
    return parts<Ms&...>{{members}...};
}
template <std::size_t N, class T>
auto member_views(T& v) {
    if constexpr (N == 1) {
        auto& [a] = v;
        return views_of(a);
    } else if constexpr (N == 2) {
        auto& [a, b] = v;
        return views_of(a, b);
    } else if constexpr (N == 3) {
        auto& [a, b, c] = v;
        return views_of(a, b, c);
    } else if constexpr (N == 4) {
        auto& [a, b, c, d] = v;
        return views_of(a, b, c, d);
    } else if constexpr (N == 5) {
        auto& [a, b, c, d, e] = v;
        return views_of(a, b, c, d, e);
    } else {
        static_assert(N == 6, "aggregate: at most six members");
        auto& [a, b, c, d, e, f] = v;
        return views_of(a, b, c, d, e, f);
    }
}

template <class G>
struct is_sequence : std::false_type {};
template <class... Es>
struct is_sequence<sequence_t<Es...>> : std::true_type {};

// Whether a T can be decoded member by member from a sequence that reads the tuple Read: T is made empty
// first, then each member is given its element's value.
template <class T, class Read>
constexpr bool decodes_member_by_member() {
    if constexpr (!std::is_default_constructible_v<T>) {
        return false;
    } else {
        using members = decltype(member_views<std::tuple_size_v<Read>>(std::declval<T&>()));
        return []<std::size_t... I>(std::index_sequence<I...>) {
            return (std::is_assignable_v<part_t<I, members>, std::tuple_element_t<I, Read>&&> && ...);
        }(std::make_index_sequence<std::tuple_size_v<Read>>{});
    }
}

}  // namespace detail

// aggregate<T> of a SEQUENCE, for a T that can be decoded member by member: each element's value goes
// straight into its member (no tuple in between), and a list of T can decode its items in place.
template <class T, class S>
struct aggregate_t {
    using value_type = T;
    static constexpr std::size_t count = S::count;
    S inner;

    tag_set tags() const { return inner.tags(); }
    std::optional<std::string> ambiguity() const { return inner.ambiguity(); }
    aggregate_t with_tag(tag nt) const { return {inner.with_tag(nt)}; }

    result<T> decode(const element& e) const {
        result<T> out(std::in_place);
        if (auto r = decode_into(e, *out); !r) out = error(std::move(r.error()));
        return out;
    }
    // Decodes into `out`, which is left partly written when the element is refused.
    result<void> decode_into(const element& e, T& out) const {
        return inner.decode_members(e, detail::member_views<count>(out));
    }

    template <class Pass>
    std::size_t emit(const T& v, Pass pass) const {
        return inner.emit(detail::member_views<count>(v), pass);
    }
};

// aggregate<T> of any other value: T made of the one value (a T without members for NULL's nothing),
// written from its one member.
template <class T, class G>
struct aggregate_one_t {
    using value_type = T;
    static constexpr bool empty = std::is_same_v<typename G::value_type, std::monostate>;
    G inner;

    tag_set tags() const { return inner.tags(); }
    std::optional<std::string> ambiguity() const { return inner.ambiguity(); }
    auto with_tag(tag nt) const {
        using I = decltype(inner.with_tag(nt));
        return aggregate_one_t<T, I>{inner.with_tag(nt)};
    }

    result<T> decode(const element& e) const {
        auto r = inner.decode(e);
        if (!r) return error(std::move(r.error()));
        if constexpr (empty) {
            return result<T>(std::in_place);
        } else {
            return result<T>(std::in_place, T{std::move(*r)});
        }
    }
    // Decodes into `out`, whose member is left as it was when the element is refused.
    result<void> decode_into(const element& e, T& out) const {
        auto r = inner.decode(e);
        if (!r) return error(std::move(r.error()));
        if constexpr (!empty) {
            auto& [m] = out;
            m = std::move(*r);
        }
        return {};
    }
    template <class Pass>
    std::size_t emit(const T& v, Pass pass) const {
        return inner.emit(member(v), pass);
    }

private:
    static decltype(auto) member(const T& v) {
        if constexpr (empty) {
            return std::monostate{};
        } else {
            const auto& [m] = v;
            return (m);
        }
    }
};

namespace detail {

// aggregate<T> of anything but a SEQUENCE that T can take member by member: a tuple read becomes a T
// through a `map`, one value through `aggregate_one_t`.
template <class T, class G>
auto aggregate_by_map(G inner) {
    using read = typename G::value_type;
    if constexpr (is_tuple<read>::value) {
        return map(
            [](read&& r) {
                return std::apply([](auto&&... members) { return T{std::move(members)...}; }, std::move(r));
            },
            [](const T& v) { return member_views<std::tuple_size_v<read>>(v); }, std::move(inner));
    } else {
        return aggregate_one_t<T, G>{std::move(inner)};
    }
}

}  // namespace detail

template <class T, class G>
auto aggregate(G inner) {
    if constexpr (detail::is_sequence<G>::value) {
        if constexpr (detail::decodes_member_by_member<T, typename G::value_type>())
            return aggregate_t<T, G>{std::move(inner)};
        else
            return detail::aggregate_by_map<T>(std::move(inner));
    } else {
        return detail::aggregate_by_map<T>(std::move(inner));
    }
}

// ---------------------------------------------------------------------------------------------------
// rule: a named grammar behind a type-erased handle. It decodes a T and writes from a W; its tag set and
// ambiguity are worked out once, and its decode and both passes of its emit are compiled once, in the one source file
// that defines it with `make_rule`. A grammar that holds a rule does not carry the rule's type: nesting
// stops here, so a named grammar is instantiated once however often it is used.

template <class T, class W>
struct rule_entry_points {
    tag_set tags;
    std::optional<std::string> ambiguity;
    const void* grammar;  // what the entry points read through: the defining file's grammar
    result<T> (*decode)(const void* grammar, const element&);
    std::size_t (*count)(const void* grammar, const W&, size_plan&);   // the counting pass
    void (*write)(const void* grammar, const W&, std::string&, size_plan&);  // the writing pass
};

template <class T, class W = T>
struct rule {
    using value_type = T;
    using written_type = W;
    const rule_entry_points<T, W>* points;

    tag_set tags() const { return points->tags; }
    std::optional<std::string> ambiguity() const { return points->ambiguity; }
    result<T> decode(const element& e) const { return points->decode(points->grammar, e); }
    template <class Pass>
    std::size_t emit(const W& v, Pass pass) const {
        if constexpr (Pass::counts) {
            return points->count(points->grammar, v, pass.plan);
        } else {
            points->write(points->grammar, v, pass.out, pass.plan);
            return 0;
        }
    }
};

// The rule of the grammar that `Grammar()` returns (a reference to a function-local static of the defining
// source file, built on first use, so that a rule may be used from any thread and from any static
// initialiser). The entry points reach the grammar through the pointer kept beside them, not by calling
// `Grammar()` again.
template <auto Grammar, class W = typename std::remove_cvref_t<decltype(Grammar())>::value_type>
rule<typename std::remove_cvref_t<decltype(Grammar())>::value_type, W> make_rule() {
    using G = std::remove_cvref_t<decltype(Grammar())>;
    using T = typename G::value_type;
    static const rule_entry_points<T, W> points{
        Grammar().tags(),
        Grammar().ambiguity(),
        &Grammar(),
        [](const void* g, const element& e) { return static_cast<const G*>(g)->decode(e); },
        [](const void* g, const W& v, size_plan& plan) -> std::size_t {
            return static_cast<const G*>(g)->emit(v, count_pass{plan});
        },
        [](const void* g, const W& v, std::string& out, size_plan& plan) {
            static_cast<const G*>(g)->emit(v, write_pass{plan, out});
        },
    };
    return {&points};
}

// ---------------------------------------------------------------------------------------------------
// variant_choice<Model, Read>: a CHOICE laid out as one flat list of alternatives, for a model type whose
// member `value` is a std::variant. Each alternative is a grammar that decodes to an alternative of that
// variant, to Read itself or to something Read is made from, and names the variant alternatives it writes:
//   writes<Model::A>(explicit_(3, a))       read and written for A
//   writes<Model::B, Model::C>(g)           one form written for two alternatives (g writes from either)
//   legacy(g)                               a legacy form: read, never written
// The encoder's dispatch comes from the variant: the compiler refuses a variant alternative that no
// alternative, or more than one, writes.

template <class G, class... Written>
struct alternative_t {
    using grammar_type = G;
    G grammar;
    template <class M>
    static constexpr bool writes_alternative = (std::is_same_v<M, Written> || ...);
};

template <class... Written, class G>
alternative_t<G, Written...> writes(G grammar) {
    static_assert(sizeof...(Written) > 0, "writes<...>: name the alternatives written");
    return {std::move(grammar)};
}
template <class G>
alternative_t<G> legacy(G grammar) {
    return {std::move(grammar)};
}

namespace detail {

// How many of the alternatives As write the variant alternative M.
template <class M, class... As>
inline constexpr std::size_t writers_of = (std::size_t{0} + ... + std::size_t{As::template writes_alternative<M>});

// The index of the first of `flags` that is set (each use guarantees one is).
template <std::size_t N>
constexpr std::size_t first_set(const bool (&flags)[N]) {
    std::size_t i = 0;
    while (!flags[i]) ++i;
    return i;
}

template <class V>
struct variant_alternatives;
template <class... Ms>
struct variant_alternatives<std::variant<Ms...>> {
    template <class... As>
    static constexpr bool each_written_once = ((writers_of<Ms, As...> == 1) && ...);
    template <class M>
    static constexpr bool holds = (std::is_same_v<M, Ms> || ...);
    // The index of M, one of the alternatives.
    template <class M>
    static constexpr std::size_t index_of = first_set({std::is_same_v<M, Ms>...});
};

template <class M, class... As>
constexpr std::size_t writer_of() {
    return first_set({As::template writes_alternative<M>...});
}

}  // namespace detail

template <class Model, class Read, class... As>
struct variant_choice_t {
    static constexpr std::size_t count = sizeof...(As);
    using value_type = Read;
    using variant = decltype(std::declval<const Model&>().value);
    using variant_type = std::remove_cvref_t<variant>;
    using alternatives_of = detail::variant_alternatives<variant_type>;
    static_assert(alternatives_of::template each_written_once<As...>,
                  "every alternative of the model's variant must be written by exactly one alternative");

    detail::choice_core<typename As::grammar_type...> core;

    explicit variant_choice_t(As... as) : core(std::move(as.grammar)...) {}

    tag_set tags() const { return core.tags(); }
    std::optional<std::string> ambiguity() const { return core.ambiguity(); }

    result<value_type> decode(const element& e) const { return core.template decode<decode_arms>(*this, e); }

    // Written by the alternative that writes the model's current alternative; a valueless model stops the
    // program (see refuse_valueless).
    template <class V, class Pass>
    std::size_t emit(const V& v, Pass pass) const {
        if (v.value.valueless_by_exception()) refuse_valueless();
        return detail::dispatch<model_count, encode_arms>(arm_of(v.value), *this, v, Pass(pass));
    }

private:
    static constexpr std::size_t model_count = std::variant_size_v<variant_type>;

    struct decode_arms {
        // Decodes with alternative I.
        template <std::size_t I>
        static result<value_type> arm(const variant_choice_t& self, const element& e) {
            const auto& g = self.core.template alternative<I>();
            using D = typename std::remove_cvref_t<decltype(g)>::value_type;
            if constexpr (std::is_same_v<D, value_type>) {
                return g.decode(e);
            } else if constexpr (!alternatives_of::template holds<D>) {
                auto r = g.decode(e);
                if (!r) return error(std::move(r.error()));
                return value_type(std::move(*r));
            } else if constexpr (std::is_same_v<Read, Model> && requires(D& d) { g.decode_into(e, d); }) {
                // Decoded in place, in the model's alternative: no value of its own to move.
                constexpr std::size_t at = alternatives_of::template index_of<D>;
                result<value_type> out(std::in_place);
                if (auto r = g.decode_into(e, out->value.template emplace<at>()); !r) out = error(std::move(r.error()));
                return out;
            } else {
                auto r = g.decode(e);
                if (!r) return error(std::move(r.error()));
                // Placed by index: the variant's converting constructor would weigh D against every
                // alternative.
                constexpr std::size_t at = alternatives_of::template index_of<D>;
                return value_type(Model{variant_type(std::in_place_index<at>, std::move(*r))});
            }
        }
    };

    // The encoder's arms, one per alternative of the model, chosen by the alternative held (a valueless
    // model never gets here).
    template <class V>
    static std::size_t arm_of(const V& variant) {
        return variant.index() < model_count ? variant.index() : model_count - 1;
    }

    struct encode_arms {
        template <std::size_t M, class V, class Pass>
        static std::size_t arm(const variant_choice_t& self, const V& v, Pass pass) {
            return self.writer_for<M>().emit(std::get<M>(v.value), pass);
        }
    };

    // The grammar that writes the model's alternative M.
    template <std::size_t M>
    const auto& writer_for() const {
        using written = std::variant_alternative_t<M, variant_type>;
        return core.template alternative<detail::writer_of<written, As...>()>();
    }
};

template <class Model, class Read = Model, class... As>
variant_choice_t<Model, Read, As...> variant_choice(As... as) {
    return variant_choice_t<Model, Read, As...>(std::move(as)...);
}

// ---------------------------------------------------------------------------------------------------
// Codecs.

struct Ambiguous_syntax {
    std::string reason;
};

template <class G>
struct codec_t {
    using value_type = typename G::value_type;
    G grammar;
    // Every header checked before the grammar runs, instead of as it reaches them: for a grammar whose
    // decode does more than make a value (logs a warning, say), which must do nothing for an input that
    // the element reader refuses.
    bool headers_first = false;
};

// Writes "Ambiguous_syntax: " with the grammar's name and the reason on standard error, then aborts.
[[noreturn]] void refuse_grammar(std::string_view name, const Ambiguous_syntax& refusal);

// Checks the grammar for ambiguity and builds its codec.
template <class G>
std::expected<codec_t<G>, Ambiguous_syntax> try_codec(G grammar) {
    if (auto why = grammar.ambiguity()) return std::unexpected(Ambiguous_syntax{std::move(*why)});
    return codec_t<G>{std::move(grammar), false};
}

// An ambiguous grammar is a programming error: the program stops, naming the fault (and the grammar,
// when a name is given).
template <class G>
codec_t<G> codec(std::string_view name, G grammar) {
    auto c = try_codec(std::move(grammar));
    if (!c) refuse_grammar(name, c.error());
    return std::move(*c);
}
template <class G>
codec_t<G> codec(G grammar) {
    return codec(std::string_view{}, std::move(grammar));
}

// DER of a value: sizes first, then one write into a buffer of exactly the final size.
template <class G, class V>
std::string encode(const codec_t<G>& c, const V& value) {
    size_plan plan;
    // Room for the constructed elements of a small value at once, instead of regrowing the list.
    plan.lengths.reserve(32);
    const std::size_t n = c.grammar.emit(value, count_pass{plan});
    std::string out;
    out.reserve(n);
    c.grammar.emit(value, write_pass{plan, out});
    return out;
}

// What a decode may be given besides its input.
struct decode_options {
    consumption_watch* watch = nullptr;  // told how far the decode has gone (see <der/consumption.hpp>)
};

// The value of `root`, an element that `begin_pass` or `parse_into` read onto `headers`. A failure leaves
// its place on `headers` (the root's, when no element inside it was marked); after `begin_pass`, the
// caller's `finish_pass` says whether the element reader's fault wins over it. The value is returned where it was
// decoded (one return, of one object), so that a caller returning it moves nothing.
template <class G>
result<typename G::value_type> decode_root(const codec_t<G>& c, tape& headers, const element& root,
                                           decode_options options = {}) {
    if (options.watch) [[unlikely]] headers.watch = options.watch;
    result<typename G::value_type> value = c.grammar.decode(root);
    if (options.watch) [[unlikely]] headers.watch = nullptr;
    if (!value) [[unlikely]] detail::fault_at(root);
    return value;
}

// What a decode in one pass found besides the value: the element reader's first fault, which wins over
// whatever the grammar made of the element, and the octets the element occupies from offset 0.
struct pass_outcome {
    std::optional<reader_fault> reader;
    std::size_t size = 0;
};

// The value of the element at offset 0 of `input`, read in one pass on `headers` (`begin_pass`, the
// grammar, `finish_pass`). When `outcome.reader` is set, the element reader refused the octets and the value
// is not to be used. The value is returned where it was decoded.
template <class G>
result<typename G::value_type> decode_in_pass(const codec_t<G>& c, tape& headers, std::string_view input,
                                              pass_outcome& outcome, decode_options options = {}) {
    const auto root = begin_pass(headers, input, c.headers_first);
    // One object returned on every path, so that it is made where the caller keeps it.
    result<typename G::value_type> value =
        root ? decode_root(c, headers, *root, options) : result<typename G::value_type>(std::unexpect);
    if (root) [[likely]] {
        outcome.reader = finish_pass(headers, *root);
        outcome.size = root_size(*root);
    } else {
        outcome.reader = root.error();
    }
    return value;
}

// The value of the first element of the input, and the octets after it (not examined). The value owns
// its contents; the octets after it are a view into `input`, valid while `input` lives.
template <class G>
result<std::pair<typename G::value_type, std::string_view>> decode(const codec_t<G>& c, std::string_view input,
                                                                   decode_options options = {}) {
    tape_lease headers;
    pass_outcome outcome;
    auto v = decode_in_pass(c, headers.get(), input, outcome, options);
    if (outcome.reader) [[unlikely]] return error(reader_message(*outcome.reader, input));
    if (!v) return error(std::move(v.error()));
    return std::pair{std::move(*v), input.substr(outcome.size)};
}

}  // namespace quarvel::der
