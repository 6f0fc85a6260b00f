#pragma once
/// \file
/// How far decoding has copied its input. Decoded values own copies of what they keep, so the octets
/// before the end of the last list item decoded are no longer needed by the decode (a list item is
/// decoded after everything before it). The owner of a large input can give up the memory behind them
/// as the decode goes on: a read-only file mapping, for example, can drop pages that would be read in
/// again if anything looked at them once more. The reports are hints; the input must stay readable.
///
/// A watch is an option of one decode (`decode_options`), carried by the decode's tape: the decode
/// reports to it, and nothing outside the decode does.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include <der/consumption_hooks.hpp>
#include <der/short_name.hpp>

namespace quarvel::der {

/// Watches how far a decode of `input` has gone: `consumed(n)` is called with growing counts, each at
/// least `step` octets past the last one (a `step` of 0 counts as 1). Ends of items outside `input`
/// are not reported.
struct consumption_watch {
    consumption_watch(std::string_view input, std::size_t step, std::function<void(std::size_t)> consumed);

    /// Called with the end of each list item decoded; reports once at least `step` octets more are done.
    void item_done(const char* item_end) {
        const auto at = reinterpret_cast<std::uintptr_t>(item_end);
        if (at < next_report || at > end || at < begin) return;
        consumed(static_cast<std::size_t>(at - begin));
        next_report = at + step;
    }

    std::uintptr_t begin = 0;           ///< the watched input's first octet
    std::uintptr_t end = 0;             ///< the end of the watched input
    std::uintptr_t next_report = 0;     ///< no report before the consumed part reaches this
    std::size_t step = 0;               ///< the least advance between two reports
    std::function<void(std::size_t)> consumed;  ///< octets of the input, from its start, no longer needed
};

}  // namespace quarvel::der
