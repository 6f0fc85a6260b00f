#pragma once
// The grammars of the protocol commands: the members in cmd_syntax.cpp and overview_syntax.cpp, the
// commands in asn_cmd.cpp.

#include <cstdint>
#include <optional>
#include <string_view>

#include <der/grammar.hpp>
#include <der/primitives.hpp>
#include <quarvel/model.hpp>

#include "grammars/forms.hpp"

namespace quarvel::asn {

der::rule<client_or_worker> client_or_worker_syntax();

// The duration of `Output_timestamped` crosses the wire as an INTEGER. A negative INTEGER is read as
// its two's-complement pattern, so a duration is written as the signed number of that same pattern;
// the patterns no INTEGER of the 63-bit range can hold are written as the nearest one that it can.
inline std::int64_t duration_integer(duration d) {
    const auto pattern = static_cast<std::int64_t>(d.nanoseconds);
    return pattern > der::max_integer ? der::max_integer : pattern < der::min_integer ? der::min_integer : pattern;
}

// What [4] writes, for `Output` (no timestamp) and `Output_timestamped`.
struct output_view {
    const uuid& id;
    std::string_view output;
    std::optional<std::int64_t> timestamp;

    output_view(const cmd::Output& x) : id(x.uuid), output(x.output) {}
    output_view(const cmd::Output_timestamped& x)
        : id(x.uuid), output(x.output), timestamp(duration_integer(x.timestamp)) {}
};

der::rule<cmd, output_view> output_syntax();

// The scheduler overview: [22] has all four members, the legacy [7] (read, never written) the first three.
der::rule<info> overview_syntax();
der::rule<cmd::Info_reply, legacy> legacy_overview_syntax();

// One CHOICE of the tags [0] to [22], listed flat, one line per tag.
der::rule<cmd> cmd_syntax();

}  // namespace quarvel::asn
