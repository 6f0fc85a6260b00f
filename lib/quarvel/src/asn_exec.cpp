// The job execution record: its grammar and codec.
#include <quarvel/asn.hpp>

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "grammars/codec.hpp"
#include "grammars/forms.hpp"
#include "grammars/labels.hpp"
#include "grammars/record.hpp"
#include "grammars/record_forms.hpp"

namespace quarvel::asn {

namespace {

const auto& exec_grammar() {
    static const auto g = exec_grammar_of<execution_record, console_line, der::utf8_string, data_syntax>();
    return g;
}


// Built on first use (thread-safe, and safe from other static initialisers); an ambiguous grammar
// stops the program here.
const auto& exec_projections() {
    static const auto projections = projections_of(exec_syntax(), "exec", "record");
    return projections;
}


}  // namespace

der::rule<execution_record> exec_syntax() { return der::make_rule<exec_grammar>(); }

result<execution_record> exec_of_str(std::string_view bytes) { return exec_projections().decode(bytes); }

std::expected<execution_record, decode_error> exec_of_str_located(std::string_view bytes) {
    return exec_projections().decode_located(bytes);
}

std::string exec_to_str(const execution_record& record) { return exec_projections().encode(record); }


}  // namespace quarvel::asn
