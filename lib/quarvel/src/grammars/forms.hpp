#pragma once
// Building blocks shared by the grammars: views handed to the encoders, enumerations written as a
// CHOICE of NULLs, and the compatibility forms (read but never written, read only to be refused).

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>

#include <der/grammar.hpp>
#include <quarvel_internal/overloaded.hpp>

namespace quarvel::asn {

// The members of a value as the tuple a sequence writes: lvalues by reference, computed values (an
// optional view, an empty list) by value.
template <class... T>
auto fields(T&&... members) {
    return std::tuple<T...>(std::forward<T>(members)...);
}

// An enumeration written as a CHOICE of NULLs: `values[i]` is the value of the choice's i-th alternative.
// The alternatives are all of one type, so the enumeration is read and written by the alternative's index,
// with no variant in between; recognition, messages and octets are the choice's.
template <class E, class A, std::size_t N>
struct enumeration_t {
    using value_type = E;
    std::array<E, N> values;
    std::array<A, N> alternatives;
    std::array<der::tag_set, N> alternative_tags;

    der::tag_set tags() const { return der::detail::union_of(alternative_tags); }
    std::optional<std::string> ambiguity() const {
        for (const A& a : alternatives)
            if (auto found = a.ambiguity()) return found;
        return der::detail::shared_tag(alternative_tags);
    }

    der::result<E> decode(const der::element& e) const {
        const std::size_t chosen = der::detail::alternative_for(alternative_tags, e.tag);
        auto r = alternatives[chosen].decode(e);
        if (!r) return der::error(std::move(r.error()));
        return values[chosen];
    }
    std::size_t size(E value, der::size_plan& plan) const {
        return alternatives[index_of(value)].size(std::monostate{}, plan);
    }
    void write(E value, std::string& out, der::size_plan& plan) const {
        alternatives[index_of(value)].write(std::monostate{}, out, plan);
    }

private:
    // The alternative that writes `value`: the first that reads as it (the first one when none does).
    std::size_t index_of(E value) const {
        for (std::size_t i = 0; i < N; ++i)
            if (values[i] == value) return i;
        return 0;
    }
};

template <class E, class A, class... More>
auto enumerated(std::array<E, 1 + sizeof...(More)> values, der::choice_t<A, More...> nulls) {
    static_assert((std::is_same_v<A, More> && ...), "enumerated: every alternative has the same grammar");
    constexpr std::size_t n = 1 + sizeof...(More);
    auto alternatives = nulls.alternatives.template each<A>([](const A& a) { return a; });
    return enumeration_t<E, A, n>{values, std::move(alternatives), nulls.alternative_tags};
}

// The encode-side slot of an alternative that no encoder ever chooses. It is never constructed.
struct unwritten {
    unwritten() = delete;
};

// An older form that is still read (f maps it into the model) but never written: its encode side takes
// `unwritten`, so no value of the model can reach it.
template <class F, class G>
auto read_only(F f, G g) {
    return der::map(std::move(f), [](const unwritten&) -> typename G::value_type { std::unreachable(); },
                    std::move(g));
}

// A retired form: its octets are read and checked like any other, then refused with `message`.
template <class T, class G>
auto retired(std::string_view message, G g) {
    return read_only([message](auto&&) -> der::result<T> { return der::error(std::string(message)); },
                     std::move(g));
}

}  // namespace quarvel::asn
