#include <quarvel/asn.hpp>
#include <quarvel/grammars/record.hpp>

namespace quarvel::asn {

namespace {
// Built when the library initialises; an ambiguous grammar stops the program here.
const auto exec_projections = projections_of(exec, "exec");
}  // namespace

result<quarvel::execution_record> exec_of_str(std::string_view bytes) { return exec_projections.first(bytes); }

std::string exec_to_str(const quarvel::execution_record& record) { return exec_projections.second(record); }

}  // namespace quarvel::asn
