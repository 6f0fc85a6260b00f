// The job execution record read in place: its grammar (the record's, its texts as views) and codec.
#include <quarvel/asn.hpp>
#include <quarvel_toolkit/releasing_decode.hpp>

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <der/consumption.hpp>

#include "grammars/codec.hpp"
#include "grammars/record.hpp"
#include "grammars/record_forms.hpp"

namespace quarvel::asn {

namespace {

const auto& data_view_grammar() {
    static const auto g = data_grammar_of<output_file_view, der::utf8_view>();
    return g;
}

der::rule<std::vector<output_file_view>, std::span<const output_file_view>> data_view_syntax() {
    return der::make_rule<data_view_grammar, std::span<const output_file_view>>();
}

const auto& exec_view_grammar() {
    static const auto g = exec_grammar_of<execution_record_view, console_line_view, der::utf8_view, data_view_syntax>();
    return g;
}

const auto& exec_view_projections() {
    static const auto projections = projections_of(exec_view_syntax(), "exec", "record");
    return projections;
}

}  // namespace

der::rule<execution_record_view> exec_view_syntax() { return der::make_rule<exec_view_grammar>(); }

std::expected<execution_record_view, decode_error> exec_view_of_str(std::string_view bytes) {
    return exec_view_projections().decode_located(bytes);
}

located_result<execution_record_view> exec_view_of_str_releasing(std::string_view bytes,
                                                                 const std::function<void(std::size_t)>& consumed,
                                                                 std::size_t step) {
    der::consumption_watch watch(bytes, step, consumed);
    return exec_view_projections().decode_located(bytes, {&watch});
}

std::string exec_view_to_str(const execution_record_view& view) { return exec_view_projections().encode(view); }

}  // namespace quarvel::asn
