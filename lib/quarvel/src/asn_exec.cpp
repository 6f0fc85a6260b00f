#include <quarvel/asn.hpp>

#include "grammars/codec.hpp"
#include "grammars/record.hpp"

namespace quarvel::asn {

namespace {
// Built on first use (thread-safe, and safe from other static initialisers); an ambiguous grammar
// stops the program here.
const auto& exec_projections() {
    static const auto projections = projections_of(exec_syntax, "exec");
    return projections;
}
}  // namespace

result<execution_record> exec_of_str(std::string_view bytes) { return exec_projections().decode(bytes); }

std::string exec_to_str(const execution_record& record) { return exec_projections().encode(record); }

}  // namespace quarvel::asn
