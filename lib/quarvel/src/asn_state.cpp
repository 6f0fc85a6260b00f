#include <quarvel/asn.hpp>

#include "grammars/codec.hpp"
#include "grammars/state.hpp"

namespace quarvel::asn {

namespace {
// Built on first use (thread-safe, and safe from other static initialisers); an ambiguous grammar
// stops the program here.
const auto& state_projections() {
    static const auto projections = projections_of(state_syntax, "scheduler_state");
    return projections;
}
}  // namespace

result<state> state_of_str(std::string_view bytes) { return state_projections().decode(bytes); }

std::string state_to_str(const state& s) { return state_projections().encode(s); }

}  // namespace quarvel::asn
