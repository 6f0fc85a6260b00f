#pragma once
// Grammar combinators: one declaration of an ASN.1 type drives both directions.
//
// A grammar G is a small value with
//   value_type                          what decoding yields (owned model values);
//   tags()                              its tag set, used to recognise optional elements and alternatives;
//   ambiguity()                         the first violation of the ambiguity rules inside it, if any;
//   decode(element)                     the element tree (already checked by `parse`) to a value;
//   size(v, plan) / write(v, out, plan) encoding, in two passes over the same walk: the first computes
//                                       every constructed element's length into `plan`, the second writes
//                                       each header once and the contents after it, into one buffer.
// Encoding takes any value shaped like value_type (a tuple of references for a sequence, any range for
// a SEQUENCE OF, any variant for a choice, anything convertible to std::string_view for a UTF8String), so
// a `map` can hand the writer views of a model value instead of copies.
//
// Tag sets and recognisers are computed when a grammar is built; `codec` checks ambiguity once, at
// start-up. Decoding walks the element tree once.

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include <der/element.hpp>
#include <der/primitives.hpp>
#include <der/result.hpp>
#include <der/tag.hpp>
#include <der/time.hpp>
#include <der/writer.hpp>

namespace der {

struct tag_set {
    std::vector<tag> tags;

    bool contains(tag t) const {
        for (const tag& x : tags)
            if (x == t) return true;
        return false;
    }
    bool disjoint(const tag_set& other) const {
        for (const tag& x : other.tags)
            if (contains(x)) return false;
        return true;
    }
    void add(const tag_set& other) {
        for (const tag& x : other.tags)
            if (!contains(x)) tags.push_back(x);
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
    std::size_t take() { return lengths[next++]; }
};

// Messages of the grammar layer.
inline std::string type_mismatch(form expected_form, tag expected, const element& got) {
    std::string m = "Type mismatch: expected: (";
    m += form_word(expected_form);
    m += ' ';
    m += tag_text(expected);
    m += ") got: ";
    m += item_text(got.form, got.tag);
    return m;
}

namespace detail {

inline constexpr std::string_view sequence_trailing = "SEQUENCE: trailing: ";
inline constexpr std::string_view explicit_sequence = "EXPLICIT: sequence: ";

inline std::vector<element> remaining(child_cursor cursor) {
    std::vector<element> left;
    while (!cursor.done()) left.push_back(cursor.next());
    return left;
}

// Runs `f(std::integral_constant<std::size_t, I>)` for the one I equal to `index`.
template <std::size_t N, class F>
decltype(auto) dispatch(std::size_t index, F&& f) {
    return [&]<std::size_t... I>(std::index_sequence<I...>) -> decltype(auto) {
        using R = decltype(f(std::integral_constant<std::size_t, 0>{}));
        if constexpr (std::is_void_v<R>) {
            ((index == I ? (f(std::integral_constant<std::size_t, I>{}), true) : false) || ...);
        } else {
            std::optional<R> r;
            ((index == I ? (r.emplace(f(std::integral_constant<std::size_t, I>{})), true) : false) || ...);
            return std::move(*r);
        }
    }(std::make_index_sequence<N>{});
}

// Primitive types: how their contents read and write.
struct utf8_traits {
    using value_type = std::string;
    static constexpr tag default_tag = tags::utf8_string;
    static constexpr form expected_form = form::any;
    static result<value_type> read(std::string_view contents) { return std::string(contents); }
    static std::size_t content_size(std::string_view v) { return v.size(); }
    static void write(std::string& out, std::string_view v) { out.append(v); }
};
struct integer_traits {
    using value_type = std::int64_t;
    static constexpr tag default_tag = tags::integer;
    static constexpr form expected_form = form::primitive;
    static result<value_type> read(std::string_view contents) { return read_integer(contents); }
    static std::size_t content_size(std::int64_t v) { return integer_size(v); }
    static void write(std::string& out, std::int64_t v) { write_integer(out, v); }
};
struct null_traits {
    using value_type = std::monostate;
    static constexpr tag default_tag = tags::null;
    static constexpr form expected_form = form::primitive;
    static result<value_type> read(std::string_view contents) { return read_null(contents); }
    static std::size_t content_size(std::monostate) { return 0; }
    static void write(std::string&, std::monostate) {}
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

    tag_set tags() const { return {{t}}; }
    std::optional<std::string> ambiguity() const { return std::nullopt; }
    primitive_grammar with_tag(tag nt) const { return {nt}; }

    result<value_type> decode(const element& e) const {
        if (e.tag != t || e.form != form::primitive) return error(type_mismatch(Traits::expected_form, t, e));
        return Traits::read(e.contents);
    }
    template <class V>
    std::size_t size(const V& v, size_plan&) const {
        const std::size_t n = Traits::content_size(v);
        return header_size(t, n) + n;
    }
    template <class V>
    void write(const V& v, std::string& out, size_plan&) const {
        write_header(out, t, form::primitive, Traits::content_size(v));
        Traits::write(out, v);
    }
};

inline constexpr primitive_grammar<detail::utf8_traits> utf8_string{};
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

    std::tuple<Es...> elements;
    std::array<tag_set, count> element_tags;
    tag t = tags::sequence;

    explicit sequence_t(Es... es) : elements(es...), element_tags{es.grammar.tags()...} {}

    tag_set tags() const { return {{t}}; }
    sequence_t with_tag(tag nt) const {
        sequence_t copy = *this;
        copy.t = nt;
        return copy;
    }

    std::optional<std::string> ambiguity() const {
        std::optional<std::string> found;
        std::apply([&](const auto&... e) { ((found = found ? found : e.grammar.ambiguity()), ...); }, elements);
        if (found) return found;
        // Optional elements met since the last required one must be told apart from each other and from
        // whatever follows them.
        tag_set collected;
        bool clash = false;
        std::size_t index = 0;
        std::apply(
            [&](const auto&... e) {
                ((clash = clash || !element_tags[index].disjoint(collected),
                  std::remove_cvref_t<decltype(e)>::is_optional ? collected.add(element_tags[index])
                                                                 : void(collected.tags.clear()),
                  ++index),
                 ...);
            },
            elements);
        if (clash) return std::string("SEQUENCE: an element's tags are those of an optional element before it");
        return std::nullopt;
    }

    result<value_type> decode(const element& e) const {
        if (e.tag != t || e.form != form::constructed) return error(type_mismatch(form::constructed, t, e));
        child_cursor cursor(e);
        value_type out;
        std::string failure;
        const bool ok = [&]<std::size_t... I>(std::index_sequence<I...>) {
            return (decode_element<I>(cursor, std::get<I>(out), failure) && ...);
        }(std::make_index_sequence<count>{});
        if (!ok) return error(std::move(failure));
        if (!cursor.done()) {
            std::string m(detail::sequence_trailing);
            m += element_list(detail::remaining(cursor), detail::sequence_trailing.size());
            return error(std::move(m));
        }
        return out;
    }

    template <class V>
    std::size_t size(const V& v, size_plan& plan) const {
        const std::size_t slot = plan.reserve();
        const std::size_t n = [&]<std::size_t... I>(std::index_sequence<I...>) {
            return (std::size_t{0} + ... + element_size<I>(std::get<I>(v), plan));
        }(std::make_index_sequence<count>{});
        plan.lengths[slot] = n;
        return header_size(t, n) + n;
    }

    template <class V>
    void write(const V& v, std::string& out, size_plan& plan) const {
        write_header(out, t, form::constructed, plan.take());
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            (write_element<I>(std::get<I>(v), out, plan), ...);
        }(std::make_index_sequence<count>{});
    }

private:
    template <std::size_t I, class Slot>
    bool decode_element(child_cursor& cursor, Slot& slot, std::string& failure) const {
        const auto& el = std::get<I>(elements);
        if constexpr (std::remove_cvref_t<decltype(el)>::is_optional) {
            if (cursor.done() || !element_tags[I].contains(cursor.peek().tag)) return true;
            auto r = el.grammar.decode(cursor.next());
            if (!r) {
                failure = std::move(r.error());
                return false;
            }
            slot.emplace(std::move(*r));
            return true;
        } else {
            if (cursor.done()) {
                failure = "SEQUENCE: missing required: ";
                failure += el.label;
                return false;
            }
            auto r = el.grammar.decode(cursor.next());
            if (!r) {
                failure = std::move(r.error());
                return false;
            }
            slot = std::move(*r);
            return true;
        }
    }

    template <std::size_t I, class V>
    std::size_t element_size(const V& v, size_plan& plan) const {
        const auto& el = std::get<I>(elements);
        if constexpr (std::remove_cvref_t<decltype(el)>::is_optional) {
            return v ? el.grammar.size(*v, plan) : 0;
        } else {
            return el.grammar.size(v, plan);
        }
    }

    template <std::size_t I, class V>
    void write_element(const V& v, std::string& out, size_plan& plan) const {
        const auto& el = std::get<I>(elements);
        if constexpr (std::remove_cvref_t<decltype(el)>::is_optional) {
            if (v) el.grammar.write(*v, out, plan);
        } else {
            el.grammar.write(v, out, plan);
        }
    }
};

// The chain form has no length limit; the system's grammars use two to six elements.
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
template <class E1, class E2, class E3, class E4, class E5>
auto sequence5(E1 a, E2 b, E3 c, E4 d, E5 e) { return sequence(a, b, c, d, e); }
template <class E1, class E2, class E3, class E4, class E5, class E6>
auto sequence6(E1 a, E2 b, E3 c, E4 d, E5 e, E6 f) { return sequence(a, b, c, d, e, f); }

// ---------------------------------------------------------------------------------------------------
// SEQUENCE OF: the list of the item values, in order.

template <class G>
struct sequence_of_t {
    using value_type = std::vector<typename G::value_type>;
    G item;
    tag t = tags::sequence;

    tag_set tags() const { return {{t}}; }
    std::optional<std::string> ambiguity() const { return item.ambiguity(); }
    sequence_of_t with_tag(tag nt) const { return {item, nt}; }

    result<value_type> decode(const element& e) const {
        if (e.tag != t || e.form != form::constructed) return error(type_mismatch(form::constructed, t, e));
        value_type out;
        for (child_cursor cursor(e); !cursor.done();) {
            auto r = item.decode(cursor.next());
            if (!r) return error(std::move(r.error()));
            out.push_back(std::move(*r));
        }
        return out;
    }

    template <class V>
    std::size_t size(const V& items, size_plan& plan) const {
        const std::size_t slot = plan.reserve();
        std::size_t n = 0;
        for (const auto& x : items) n += item.size(x, plan);
        plan.lengths[slot] = n;
        return header_size(t, n) + n;
    }

    template <class V>
    void write(const V& items, std::string& out, size_plan& plan) const {
        write_header(out, t, form::constructed, plan.take());
        for (const auto& x : items) item.write(x, out, plan);
    }
};

template <class G>
sequence_of_t<G> sequence_of(G item) {
    return {std::move(item)};
}

// ---------------------------------------------------------------------------------------------------
// EXPLICIT tag: a constructed element holding exactly one inner element.

template <class G>
struct explicit_t {
    using value_type = typename G::value_type;
    tag t;
    G inner;

    tag_set tags() const { return {{t}}; }
    std::optional<std::string> ambiguity() const { return inner.ambiguity(); }
    explicit_t with_tag(tag nt) const { return {nt, inner}; }

    result<value_type> decode(const element& e) const {
        if (e.tag != t || e.form != form::constructed) return error(type_mismatch(form::constructed, t, e));
        child_cursor cursor(e);
        if (cursor.done() || (cursor.next(), !cursor.done())) {
            std::string m(detail::explicit_sequence);
            m += element_list(children(e), detail::explicit_sequence.size());
            return error(std::move(m));
        }
        return inner.decode(child_cursor(e).next());
    }

    template <class V>
    std::size_t size(const V& v, size_plan& plan) const {
        const std::size_t slot = plan.reserve();
        const std::size_t n = inner.size(v, plan);
        plan.lengths[slot] = n;
        return header_size(t, n) + n;
    }

    template <class V>
    void write(const V& v, std::string& out, size_plan& plan) const {
        write_header(out, t, form::constructed, plan.take());
        inner.write(v, out, plan);
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
// CHOICE: the first alternative whose tag set holds the element's tag; else the last one, whose error
// is then reported. The value is a variant indexed by alternative, in argument order.

template <class... Gs>
struct choice_t {
    static constexpr std::size_t count = sizeof...(Gs);
    using value_type = std::variant<typename Gs::value_type...>;

    std::tuple<Gs...> alternatives;
    std::array<tag_set, count> alternative_tags;

    explicit choice_t(Gs... gs) : alternatives(gs...), alternative_tags{gs.tags()...} {}

    tag_set tags() const {
        tag_set all;
        for (const tag_set& s : alternative_tags) all.add(s);
        return all;
    }
    // A CHOICE cannot be implicitly tagged: the tag becomes explicit.
    explicit_t<choice_t> with_tag(tag nt) const { return {nt, *this}; }

    std::optional<std::string> ambiguity() const {
        std::optional<std::string> found;
        std::apply([&](const auto&... g) { ((found = found ? found : g.ambiguity()), ...); }, alternatives);
        if (found) return found;
        for (std::size_t i = 0; i < count; ++i)
            for (std::size_t j = i + 1; j < count; ++j)
                if (!alternative_tags[i].disjoint(alternative_tags[j]))
                    return "CHOICE: alternatives " + std::to_string(i + 1) + " and " + std::to_string(j + 1) +
                           " share a tag";
        return std::nullopt;
    }

    result<value_type> decode(const element& e) const {
        std::size_t chosen = count - 1;
        for (std::size_t i = 0; i < count; ++i)
            if (alternative_tags[i].contains(e.tag)) {
                chosen = i;
                break;
            }
        return detail::dispatch<count>(chosen, [&](auto index) -> result<value_type> {
            constexpr std::size_t I = decltype(index)::value;
            auto r = std::get<I>(alternatives).decode(e);
            if (!r) return error(std::move(r.error()));
            return value_type(std::in_place_index<I>, std::move(*r));
        });
    }

    template <class V>
    std::size_t size(const V& v, size_plan& plan) const {
        return detail::dispatch<count>(v.index(), [&](auto index) -> std::size_t {
            constexpr std::size_t I = decltype(index)::value;
            return std::get<I>(alternatives).size(std::get<I>(v), plan);
        });
    }

    template <class V>
    void write(const V& v, std::string& out, size_plan& plan) const {
        detail::dispatch<count>(v.index(), [&](auto index) {
            constexpr std::size_t I = decltype(index)::value;
            std::get<I>(alternatives).write(std::get<I>(v), out, plan);
        });
    }
};

template <class... Gs>
choice_t<Gs...> choice(Gs... gs) {
    return choice_t<Gs...>(std::move(gs)...);
}
template <class G1, class G2>
auto choice2(G1 a, G2 b) { return choice(a, b); }
template <class G1, class G2, class G3>
auto choice3(G1 a, G2 b, G3 c) { return choice(a, b, c); }
template <class G1, class G2, class G3, class G4>
auto choice4(G1 a, G2 b, G3 c, G4 d) { return choice(a, b, c, d); }
template <class G1, class G2, class G3, class G4, class G5>
auto choice5(G1 a, G2 b, G3 c, G4 d, G5 e) { return choice(a, b, c, d, e); }
template <class G1, class G2, class G3, class G4, class G5, class G6>
auto choice6(G1 a, G2 b, G3 c, G4 d, G5 e, G6 f) { return choice(a, b, c, d, e, f); }

// ---------------------------------------------------------------------------------------------------
// map f h g: g's encoding for values of another type. f turns g's value into a result (calling `error`
// to refuse it); h turns a value into something g can write, preferably views of its fields.

template <class F, class H, class G>
struct map_t {
    using value_type = typename std::invoke_result_t<const F&, typename G::value_type&&>::value_type;
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
        return f(std::move(*r));
    }

    template <class V>
    std::size_t size(const V& v, size_plan& plan) const {
        return inner.size(h(v), plan);
    }
    template <class V>
    void write(const V& v, std::string& out, size_plan& plan) const {
        inner.write(h(v), out, plan);
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
// Codecs.

struct Ambiguous_syntax {
    std::string reason;
};

template <class G>
struct codec_t {
    using value_type = typename G::value_type;
    G grammar;
};

// Checks the grammar for ambiguity and builds its codec.
template <class G>
std::expected<codec_t<G>, Ambiguous_syntax> try_codec(G grammar) {
    if (auto why = grammar.ambiguity()) return std::unexpected(Ambiguous_syntax{std::move(*why)});
    return codec_t<G>{std::move(grammar)};
}

// An ambiguous grammar is a programming error: the program stops, naming the fault.
template <class G>
codec_t<G> codec(G grammar) {
    auto c = try_codec(std::move(grammar));
    if (!c) {
        std::fprintf(stderr, "Ambiguous_syntax: %s\n", c.error().reason.c_str());
        std::abort();
    }
    return std::move(*c);
}

// DER of a value: sizes first, then one write into a buffer of exactly the final size.
template <class G, class V>
std::string encode(const codec_t<G>& c, const V& value) {
    size_plan plan;
    const std::size_t n = c.grammar.size(value, plan);
    std::string out;
    out.reserve(n);
    c.grammar.write(value, out, plan);
    return out;
}

// The value of the first element of the input, and the octets after it (not examined).
template <class G>
result<std::pair<typename G::value_type, std::string_view>> decode(const codec_t<G>& c, std::string_view input) {
    auto p = parse(input);
    if (!p) return error(std::move(p.error()));
    auto v = c.grammar.decode(p->root);
    if (!v) return error(std::move(v.error()));
    return std::pair{std::move(*v), input.substr(p->size)};
}

}  // namespace der
