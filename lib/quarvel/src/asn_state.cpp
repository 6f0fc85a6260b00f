// The persisted scheduler state: its items, one line per tag, and its codec.
#include <quarvel/asn.hpp>

#include <optional>
#include <string>
#include <string_view>

#include <quarvel/log.hpp>

#include "grammars/codec.hpp"
#include "grammars/forms.hpp"
#include "grammars/record.hpp"
#include "grammars/state.hpp"

namespace quarvel::asn {

namespace {

using read_state_item = std::optional<state_item>;

// A legacy item no longer kept: its grammar is read and checked, then the item is logged, in input
// order, and left out of the state.
template <class G>
auto dropped_legacy(G g, std::string_view warning) {
    return read_legacy(
        [warning](auto&&) {
            log::warning(log::library, warning);
            return read_state_item();
        },
        std::move(g));
}

const auto& state_item_grammar() {
    static const auto g = der::variant_choice<state_item, read_state_item>(
        der::legacy(dropped_legacy(der::explicit_(0, script_job_syntax()), "script job for queue no longer supported, ignoring")),
        der::legacy(der::explicit_(1, der::aggregate<state_item::Schedule>(legacy_schedule_syntax()))),
        der::legacy(dropped_legacy(der::explicit_(2, job_syntax()), "job for queue no longer supported, ignoring")),
        der::writes<state_item::Schedule>(der::explicit_(3, der::aggregate<state_item::Schedule>(schedule_syntax()))),
        der::writes<state_item::Queue>(der::explicit_(4, state_queue_syntax())),
        der::writes<state_item::Dropped_platform>(
            der::explicit_(5, der::aggregate<state_item::Dropped_platform>(der::utf8_string))));
    return g;
}

const auto& state_grammar() {
    static const auto g = der::sequence_of_present(state_item_syntax());
    return g;
}

// Built on first use (thread-safe, and safe from other static initialisers); an ambiguous grammar
// stops the program here.
const auto& state_projections() {
    // The retired items' warnings are logged as the grammar meets them: only for a state whose every
    // header the element reader accepts.
    static const auto projections = projections_of(state_syntax(), "scheduler_state", "state", true);
    return projections;
}

}  // namespace

der::rule<read_state_item, state_item> state_item_syntax() { return der::make_rule<state_item_grammar, state_item>(); }
der::rule<state> state_syntax() { return der::make_rule<state_grammar>(); }

result<state> state_of_str(std::string_view bytes) { return state_projections().decode(bytes); }

std::expected<state, decode_error> state_of_str_located(std::string_view bytes) {
    return state_projections().decode_located(bytes);
}

std::string state_to_str(const state& s) { return state_projections().encode(s); }

}  // namespace quarvel::asn
