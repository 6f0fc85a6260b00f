#include <quarvel/asn.hpp>
#include <quarvel/grammars/cmd.hpp>

namespace quarvel::asn {

namespace {
// Built on first use, once, also when that use is another static initialiser or several threads at once;
// an ambiguous grammar stops the program here.
const auto& cmd_projections() {
    static const auto projections = projections_of(cmd, "cmd");
    return projections;
}
}  // namespace

result<quarvel::cmd> cmd_of_str(std::string_view bytes) { return cmd_projections().first(bytes); }

std::string cmd_to_str(const quarvel::cmd& c) { return cmd_projections().second(c); }

}  // namespace quarvel::asn
