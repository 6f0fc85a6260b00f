#include <quarvel/asn.hpp>
#include <quarvel/grammars/record.hpp>

namespace quarvel::asn {

namespace {
// Built on first use, once, also when that use is another static initialiser or several threads at once;
// an ambiguous grammar stops the program here.
const auto& exec_projections() {
    static const auto projections = projections_of(exec, "exec");
    return projections;
}
}  // namespace

result<quarvel::execution_record> exec_of_str(std::string_view bytes) { return exec_projections().first(bytes); }

std::string exec_to_str(const quarvel::execution_record& record) { return exec_projections().second(record); }

}  // namespace quarvel::asn
