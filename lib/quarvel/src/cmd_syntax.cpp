// The member grammars of the protocol commands, but for the scheduler overview (overview_syntax.cpp).
#include <array>
#include <cstdint>
#include <utility>

#include "grammars/cmd.hpp"
#include "grammars/forms.hpp"
#include "grammars/labels.hpp"
#include "grammars/record.hpp"

namespace quarvel::asn {

namespace {

const auto& client_or_worker_grammar() {
    static const auto g = der::enumerated(std::array{client_or_worker::Client, client_or_worker::Worker},
                                     der::choice2(der::explicit_(0, der::null), der::explicit_(1, der::null)));
    return g;
}

const auto& output_grammar() {
    static const auto g = der::map(
        [](auto&& read) -> cmd {
            auto& [id, output, timestamp] = read;
            if (!timestamp) return cmd{cmd::Output{id, std::move(output)}};
            return cmd{cmd::Output_timestamped{id, duration{static_cast<std::uint64_t>(*timestamp)}, std::move(output)}};
        },
        [](const output_view& x) { return fields(x.id, x.output, x.timestamp); },
        der::sequence3(der::required(label::uuid, uuid_syntax()), der::required(label::output, der::utf8_string),
                       der::optional(label::timestamp, der::int_)));
    return g;
}

}  // namespace

der::rule<client_or_worker> client_or_worker_syntax() { return der::make_rule<client_or_worker_grammar>(); }
der::rule<cmd, output_view> output_syntax() { return der::make_rule<output_grammar, output_view>(); }

}  // namespace quarvel::asn
