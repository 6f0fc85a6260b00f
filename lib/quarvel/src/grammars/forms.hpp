#pragma once
// Building blocks shared by the grammars: views handed to the encoders and the legacy forms (read, never
// written: read into the model, or read only to be refused).

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
#include <quarvel_toolkit/overloaded.hpp>

namespace quarvel::asn {

// The members of a value as the tuple a sequence writes: lvalues by reference, computed values (an
// optional view, an empty list) by value.
template <class... T>
auto fields(T&&... members) {
    return std::tuple<T...>(std::forward<T>(members)...);
}

// Legacy forms: forms of older versions that are still read, never written. What one reads goes into
// the model (`read_legacy`) or is refused (`refuse_legacy`); its encode side takes `legacy`, a type with
// no value, so no value of the model can reach it. In a CHOICE over a model's variant the alternative of
// a legacy form is marked `der::legacy`.
struct legacy {
    legacy() = delete;
};

// A legacy form read into the model by f.
template <class F, class G>
auto read_legacy(F f, G g) {
    return der::map(std::move(f), [](const legacy&) -> typename G::value_type { std::unreachable(); }, std::move(g));
}

// A legacy form whose octets are read and checked like any other, then refused with `message`.
template <class T, class G>
auto refuse_legacy(std::string_view message, G g) {
    return read_legacy([message](auto&&) -> der::result<T> { return der::error(std::string(message)); }, std::move(g));
}

}  // namespace quarvel::asn
