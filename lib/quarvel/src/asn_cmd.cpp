#include <quarvel/asn.hpp>

#include "grammars/codec.hpp"
#include "grammars/cmd.hpp"

namespace quarvel::asn {

namespace {
// Built on first use (thread-safe, and safe from other static initialisers); an ambiguous grammar
// stops the program here.
const auto& cmd_projections() {
    static const auto projections = projections_of(cmd_syntax, "cmd");
    return projections;
}
}  // namespace

result<cmd> cmd_of_str(std::string_view bytes) { return cmd_projections().decode(bytes); }

std::string cmd_to_str(const cmd& c) { return cmd_projections().encode(c); }

}  // namespace quarvel::asn
