#pragma once
// The grammar of the job execution record and the member grammars that the state and the commands
// reuse: `data`, `script_job`, `vesk_build_job`, `job`, `uuid`, `res` and the time choice.
//
// Each grammar is `der::map(read, write, shape)`: `read` moves the decoded texts into the model,
// `write` hands the encoder views of a model value. Grammar values end in `_syntax`, so that they never
// share a name with the model type they read.

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <variant>

#include <der/grammar.hpp>
#include "grammars/forms.hpp"
#include "grammars/labels.hpp"
#include "grammars/path.hpp"
#include <quarvel/model.hpp>

namespace quarvel::asn {

// The platform of a script job whose encoding has none.
inline constexpr std::string_view no_platform = "no-platform";

// A time member: UTCTime or GeneralizedTime when read (which one is not kept), GeneralizedTime when
// written.
inline const auto time_syntax = der::map(
    [](std::variant<quarvel::timestamp, quarvel::timestamp>&& read) -> der::result<quarvel::timestamp> {
        return std::visit([](quarvel::timestamp t) { return t; }, read);
    },
    [](quarvel::timestamp t) { return std::variant<quarvel::timestamp, quarvel::timestamp>(std::in_place_index<1>, t); },
    der::choice2(der::utc_time, der::generalized_time));

// One output file; its path is checked and normalised as it is read.
inline const auto output_file_syntax = der::map(
    [](auto&& read) -> der::result<quarvel::output_file> {
        auto& [path, contents] = read;
        auto checked = valid_path(std::move(path));
        if (!checked) return der::error(std::move(checked.error()));
        return quarvel::output_file{std::move(*checked), std::move(contents)};
    },
    [](const quarvel::output_file& f) { return fields(f.path, f.data); },
    der::sequence2(der::required(label::path, der::utf8_string), der::required(label::data, der::utf8_string)));

inline const auto data_syntax = der::sequence_of(output_file_syntax);

// The wire order (name, script, files, platform) differs from the record's (name, platform, script).
// "files" is read and checked like any `data`, then dropped; it is always written empty.
inline const auto script_job_syntax = der::map(
    [](auto&& read) -> der::result<quarvel::script_job> {
        auto& [name, script, files, platform] = read;
        return quarvel::script_job{std::move(name), platform ? std::move(*platform) : std::string(no_platform),
                                   std::move(script)};
    },
    [](const quarvel::script_job& j) {
        return fields(j.name, j.script, std::span<const quarvel::output_file>{}, std::optional<std::string_view>(j.platform));
    },
    der::sequence4(der::required(label::name, der::utf8_string),
                   der::required(label::script, der::utf8_string),
                   der::required(label::files, data_syntax),
                   der::optional(label::platform, der::utf8_string)));

inline const auto vesk_build_job_syntax = der::map(
    [](auto&& read) -> der::result<quarvel::vesk_build_job> {
        auto& [name, opam_package] = read;
        return quarvel::vesk_build_job{std::move(name), std::move(opam_package)};
    },
    [](const quarvel::vesk_build_job& j) { return fields(j.name, j.opam_package); },
    der::sequence2(der::required(label::name, der::utf8_string),
                   der::required(label::opam_package, der::utf8_string)));

// The choice's value is exactly `quarvel::job`: Script_job [0], Vesk_build_job [1].
inline const auto job_syntax = der::choice2(der::explicit_(0, script_job_syntax), der::explicit_(1, vesk_build_job_syntax));

// The 16 raw octets in a UTF8String; of a longer value only the first 16 count.
inline const auto uuid_syntax = der::map(
    [](std::string&& octets) -> der::result<quarvel::uuid> {
        quarvel::uuid u;
        if (octets.size() < u.octets.size()) return der::error("couldn't decode UUID");
        std::memcpy(u.octets.data(), octets.data(), u.octets.size());
        return u;
    },
    [](const quarvel::uuid& u) {
        return std::string_view(reinterpret_cast<const char*>(u.octets.data()), u.octets.size());
    },
    der::utf8_string);

inline const auto res_syntax = der::map(
    [](std::variant<std::int64_t, std::int64_t, std::int64_t, std::string>&& read) -> der::result<quarvel::execution_result> {
        switch (read.index()) {
        case 0: return quarvel::Exited{*std::get_if<0>(&read)};
        case 1: return quarvel::Signalled{*std::get_if<1>(&read)};
        case 2: return quarvel::Stopped{*std::get_if<2>(&read)};
        default: return quarvel::Msg{std::move(*std::get_if<3>(&read))};
        }
    },
    [](const quarvel::execution_result& r) {
        using written = std::variant<std::int64_t, std::int64_t, std::int64_t, std::string_view>;
        return std::visit(overloaded{
                              [](const quarvel::Exited& x) { return written(std::in_place_index<0>, x.code); },
                              [](const quarvel::Signalled& x) { return written(std::in_place_index<1>, x.signal); },
                              [](const quarvel::Stopped& x) { return written(std::in_place_index<2>, x.signal); },
                              [](const quarvel::Msg& x) { return written(std::in_place_index<3>, x.text); },
                          },
                          r);
    },
    der::choice4(der::explicit_(0, der::int_), der::explicit_(1, der::int_), der::explicit_(2, der::int_),
                 der::explicit_(3, der::utf8_string)));

// A console line: its offset in nanoseconds, stored unchanged, and its text.
inline const auto console_line_syntax = der::map(
    [](auto&& read) -> der::result<quarvel::console_line> {
        auto& [delta, text] = read;
        return quarvel::console_line{delta, std::move(text)};
    },
    [](const quarvel::console_line& l) { return fields(l.delta, l.data); },
    der::sequence2(der::required(label::delta, der::int_), der::required(label::data, der::utf8_string)));

// The record itself, inside [0]; [1] is reserved, carries no record and is refused when read.
inline const auto exec_syntax = der::map(
    [](std::variant<quarvel::execution_record, quarvel::execution_record>&& read) -> der::result<quarvel::execution_record> {
        return std::visit([](quarvel::execution_record& r) { return std::move(r); }, read);
    },
    [](const quarvel::execution_record& r) {
        return std::variant<ref<quarvel::execution_record>, unwritten>(std::in_place_index<0>, r);
    },
    der::choice2(
        der::map(
            [](auto&& read) -> der::result<quarvel::execution_record> {
                auto& [scripted, id, console, times, result, output] = read;
                auto& [started, finished] = times;
                return quarvel::execution_record{std::move(scripted), id, std::move(console), started, finished,
                                                 std::move(result), std::move(output)};
            },
            [](const quarvel::execution_record& r) {
                return fields(r.job, r.uuid, r.console, fields(r.started, r.finished), r.result, r.output);
            },
            der::explicit_(0, der::sequence6(
                                  der::required(label::job, script_job_syntax),
                                  der::required(label::uuid, uuid_syntax),
                                  der::required(label::console, der::sequence_of(console_line_syntax)),
                                  der::required(label::timestamps,
                                                der::sequence2(der::required(label::started, time_syntax),
                                                               der::required(label::finished, time_syntax))),
                                  der::required(label::result, res_syntax),
                                  der::required(label::output, data_syntax)))),
        retired<quarvel::execution_record>("reserved record alternative", der::explicit_(1, der::null))));

}  // namespace quarvel::asn
