#include <quarvel/asn.hpp>
#include <quarvel/grammars/state.hpp>

namespace quarvel::asn {

namespace {
// Built on first use, once, also when that use is another static initialiser or several threads at once;
// an ambiguous grammar stops the program here.
const auto& state_projections() {
    static const auto projections = projections_of(scheduler_state, "scheduler_state");
    return projections;
}
}  // namespace

result<quarvel::state> state_of_str(std::string_view bytes) { return state_projections().first(bytes); }

std::string state_to_str(const quarvel::state& s) { return state_projections().second(s); }

}  // namespace quarvel::asn
