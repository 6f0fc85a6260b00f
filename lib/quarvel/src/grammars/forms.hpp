#pragma once
// Building blocks shared by the grammars: views handed to the encoders, enumerations written as a
// CHOICE of NULLs, and the compatibility forms (read but never written, read only to be refused).

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <variant>

#include <der/grammar.hpp>

namespace quarvel::asn {

template <class... F>
struct overloaded : F... {
    using F::operator()...;
};

// A view of a model value inside the encode-side variants: the encoders copy no contents.
template <class T>
using ref = std::reference_wrapper<const T>;

// The members of a value as the tuple a sequence writes: lvalues by reference, computed values (an
// optional view, an empty list) by value.
template <class... T>
auto fields(T&&... members) {
    return std::tuple<T...>(std::forward<T>(members)...);
}

// An enumeration written as a CHOICE of NULLs: `values[i]` is the value of the choice's i-th alternative.
template <class E, class G>
auto enumerated(std::array<E, std::variant_size_v<typename G::value_type>> values, G nulls) {
    using alternatives = typename G::value_type;
    return der::map(
        [values](alternatives&& read) -> der::result<E> { return values[read.index()]; },
        [values](E value) {
            alternatives written;
            [&]<std::size_t... I>(std::index_sequence<I...>) {
                (void)((values[I] == value && (written.template emplace<I>(), true)) || ...);
            }(std::make_index_sequence<std::variant_size_v<alternatives>>{});
            return written;
        },
        std::move(nulls));
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
