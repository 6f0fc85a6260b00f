#pragma once
// The plain forms of the framing operations: the same result with the error's text alone.

#include <type_traits>
#include <utility>

#include <quarvel/framing.hpp>

namespace quarvel {

template <class T>
result<T> text_only(frame_result<T>&& r) {
    if (!r) return std::unexpected(std::move(r.error().text));
    if constexpr (std::is_void_v<T>)
        return {};
    else
        return std::move(*r);
}

}  // namespace quarvel
