// The job execution record: its grammar and codec.
#include <quarvel/asn.hpp>
#include <quarvel_internal/releasing_decode.hpp>

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <der/consumption.hpp>

#include "grammars/codec.hpp"
#include "grammars/forms.hpp"
#include "grammars/labels.hpp"
#include "grammars/record.hpp"

namespace quarvel::asn {

namespace {

// The record, its console lines and output files of the types given: copied (`execution_record`) or read
// in place (`execution_record_view`), from one description.
template <class Record, class Line, auto& text_grammar, auto files_syntax>
auto exec_grammar_of() {
    return der::one_of<0>(
        der::map(
            [](auto&& read) {
                auto& [scripted, id, console, times, result, output] = read;
                auto& [started, finished] = times;
                return Record{std::move(scripted), id, std::move(console), started, finished,
                              std::move(result), std::move(output)};
            },
            [](const Record& r) {
                return fields(r.job, r.uuid, r.console, fields(r.started, r.finished), r.result, r.output);
            },
            der::explicit_(0, der::sequence6(
                                  der::required(label::job, script_job_syntax()),
                                  der::required(label::uuid, uuid_syntax()),
                                  // A console line: its offset in nanoseconds, stored unchanged, and its
                                  // text. Read inline, not through a rule: a record holds a million.
                                  der::required(label::console,
                                                der::sequence_of(der::aggregate<Line>(der::sequence2(
                                                    der::required(label::delta, der::int_),
                                                    der::required(label::data, text_grammar))))),
                                  der::required(label::timestamps,
                                                der::sequence2(der::required(label::started, time_syntax()),
                                                               der::required(label::finished, time_syntax()))),
                                  der::required(label::result, res_syntax()),
                                  der::required(label::output, files_syntax())))),
        retired<Record>("reserved record alternative", der::explicit_(1, der::null)));
}

const auto& exec_grammar() {
    static const auto g = exec_grammar_of<execution_record, console_line, der::utf8_string, data_syntax>();
    return g;
}

const auto& exec_view_grammar() {
    static const auto g = exec_grammar_of<execution_record_view, console_line_view, der::utf8_view, data_view_syntax>();
    return g;
}

// Built on first use (thread-safe, and safe from other static initialisers); an ambiguous grammar
// stops the program here.
const auto& exec_projections() {
    static const auto projections = projections_of(exec_syntax(), "exec", "record");
    return projections;
}

const auto& exec_view_projections() {
    static const auto projections = projections_of(exec_view_syntax(), "exec", "record");
    return projections;
}

}  // namespace

der::rule<execution_record> exec_syntax() { return der::make_rule<exec_grammar>(); }
der::rule<execution_record_view> exec_view_syntax() { return der::make_rule<exec_view_grammar>(); }

result<execution_record> exec_of_str(std::string_view bytes) { return exec_projections().decode(bytes); }

std::expected<execution_record, decode_error> exec_of_str_located(std::string_view bytes) {
    return exec_projections().decode_located(bytes);
}

located_result<execution_record> exec_of_str_releasing(std::string_view bytes,
                                                       const std::function<void(std::size_t)>& consumed, std::size_t step) {
    const der::watch_consumption watch(bytes, step, consumed);
    return exec_projections().decode_located(bytes);
}

std::string exec_to_str(const execution_record& record) { return exec_projections().encode(record); }

std::expected<execution_record_view, decode_error> exec_view_of_str(std::string_view bytes) {
    return exec_view_projections().decode_located(bytes);
}

located_result<execution_record_view> exec_view_of_str_releasing(std::string_view bytes,
                                                                 const std::function<void(std::size_t)>& consumed,
                                                                 std::size_t step) {
    const der::watch_consumption watch(bytes, step, consumed);
    return exec_view_projections().decode_located(bytes);
}

std::string exec_view_to_str(const execution_record_view& view) { return exec_view_projections().encode(view); }

}  // namespace quarvel::asn
