#pragma once
// A state read item by item, for a tool that prints a large one. The list of a state's items costs several
// times the octets it is read from (a tiny item of five octets becomes a model item of dozens, and the tape
// of the whole state eight octets a header); read this way, a state costs one item beside its octets.
//
// The state is checked whole first, as `state_of_str_for_tool` checks it: the same refusal (message, offset,
// path), the same precedence (any fault of the element reader before any of the grammar, "trailing bytes"
// last), and the retired items' warnings logged in the same order, before anything is printed of the state;
// but each item is decoded and dropped at once. Then the items are decoded again, one at a time, each handed
// over and dropped before the next. Built into the library, not installed.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include <quarvel/format.hpp>
#include <quarvel/model.hpp>
#include <quarvel_toolkit/tool_decode.hpp>

namespace quarvel::asn {

/// A state that `check_state_items` accepted.
struct checked_state {
    std::string_view items;  ///< the contents of its SEQUENCE OF: the items, one whole element after the other
    /// The octets `state_to_str` writes for the items read as something (their elements, without the
    /// list's header), when the check was asked to count them.
    std::size_t encoded_items_size = 0;
};

/// Checks `bytes` as a state, logging the warnings of its retired items, without keeping any item; with
/// `count_encoding`, also counts the octets of its items' encoding (see `checked_state`).
tool_result<checked_state> check_state_items(std::string_view bytes, const tool_decode_options& how,
                                             bool count_encoding = false);

/// Hands each item of `state` that reads as something to `visit`, in input order, as `state_of_str` would
/// list it; the retired items are passed over in silence (their warnings were logged by the check). The
/// item is `visit`'s to change; it is dropped when `visit` returns. False when an item no longer reads as
/// the check read it, which only octets changed since the check (a mapped file written meanwhile) can do:
/// the items stop there.
bool each_state_item(const checked_state& state, const std::function<void(state_item&)>& visit);

/// What `pp_state` writes between two items, for a printer of the items one by one.
void pp_state_separator(formatter& f);

/// The list's header that `state_to_str` writes before items whose elements take `items_size` octets.
std::string state_header(std::size_t items_size);

/// Appends the element of `item` to `out`, as `state_to_str` writes it inside the list.
void append_state_item(std::string& out, const state_item& item);

}  // namespace quarvel::asn
