#pragma once
// The two forms of the record's grammar, from one description: the record whose texts are copied
// (`execution_record`, `output_file`) and the record read in place (`execution_record_view`,
// `output_file_view`). Each form is instantiated in a source file of its own (asn_exec.cpp and
// exec_syntax.cpp, asn_exec_view.cpp), so that neither weighs on how the compiler treats the other.

#include <string>
#include <utility>

#include <der/grammar.hpp>
#include <quarvel/model.hpp>

#include "grammars/forms.hpp"
#include "grammars/labels.hpp"
#include "grammars/path.hpp"
#include "grammars/record.hpp"

namespace quarvel::asn {

// Output files, their contents copied (`output_file`) or read in place (`output_file_view`, `utf8_view`).
template <class File, auto& contents_grammar>
inline auto data_grammar_of() {
    return der::sequence_of(der::map(
        [](auto&& read) -> der::result<File> {
            auto& [path, contents] = read;
            auto checked = valid_path(std::move(path));
            if (!checked) return der::error(std::move(checked.error()));
            return File{std::move(*checked), std::move(contents)};
        },
        [](const File& f) { return fields(f.path, f.data); },
        der::sequence2(der::required(label::path, der::utf8_string), der::required(label::data, contents_grammar))));
}

// The record, its console lines and output files of the types given: copied (`execution_record`) or read
// in place (`execution_record_view`), from one description.
template <class Record, class Line, auto& text_grammar, auto files_syntax>
inline auto exec_grammar_of() {
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
        refuse_legacy<Record>("reserved record alternative", der::explicit_(1, der::null)));
}

}  // namespace quarvel::asn
