// The member grammars of the job execution record (the record itself is in asn_exec.cpp), which the
// state and the commands reuse.
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "grammars/forms.hpp"
#include "grammars/labels.hpp"
#include "grammars/path.hpp"
#include "grammars/record.hpp"
#include "grammars/record_forms.hpp"

namespace quarvel::asn {

namespace {

const auto& time_grammar() {
    static const auto g = der::one_of<1>(der::utc_time, der::generalized_time);
    return g;
}

const auto& data_grammar() {
    static const auto g = data_grammar_of<output_file, der::utf8_string>();
    return g;
}


// "files" is read and checked like any `data`, then dropped; it is always written empty.
const auto& script_job_grammar() {
    static const auto g = der::map(
        [](auto&& read) {
            auto& [name, script, files, platform] = read;
            return script_job{std::move(name), platform ? std::move(*platform) : std::string(no_platform),
                              std::move(script)};
        },
        [](const script_job& j) {
            return fields(j.name, j.script, std::span<const output_file>{}, std::optional<std::string_view>(j.platform));
        },
        der::sequence4(der::required(label::name, der::utf8_string),
                       der::required(label::script, der::utf8_string),
                       der::required(label::files, data_syntax()),
                       der::optional(label::platform, der::utf8_string)));
    return g;
}

const auto& vesk_build_job_grammar() {
    static const auto g = der::aggregate<vesk_build_job>(der::sequence2(
        der::required(label::name, der::utf8_string), der::required(label::opam_package, der::utf8_string)));
    return g;
}

const auto& job_grammar() {
    static const auto g = der::choice2(der::explicit_(0, script_job_syntax()), der::explicit_(1, vesk_build_job_syntax()));
    return g;
}

// The octets are read in place and copied straight into the uuid.
const auto& uuid_grammar() {
    static const auto g = der::map(
        [](std::string_view octets) -> der::result<uuid> {
            uuid u;
            if (octets.size() < u.octets.size()) return der::error("couldn't decode UUID");
            std::memcpy(u.octets.data(), octets.data(), u.octets.size());
            return u;
        },
        [](const uuid& u) { return std::string_view(reinterpret_cast<const char*>(u.octets.data()), u.octets.size()); },
        der::utf8_view);
    return g;
}

// The CHOICE's alternatives are the result's, in order: its value is the result itself.
const auto& res_grammar() {
    static const auto g = der::choice4(der::explicit_(0, der::aggregate<Exited>(der::int_)),
                                       der::explicit_(1, der::aggregate<Signalled>(der::int_)),
                                       der::explicit_(2, der::aggregate<Stopped>(der::int_)),
                                       der::explicit_(3, der::aggregate<Msg>(der::utf8_string)));
    static_assert(std::is_same_v<std::remove_cvref_t<decltype(g)>::value_type, execution_result>);
    return g;
}

}  // namespace

der::rule<timestamp> time_syntax() { return der::make_rule<time_grammar>(); }
der::rule<data, std::span<const output_file>> data_syntax() {
    return der::make_rule<data_grammar, std::span<const output_file>>();
}
der::rule<script_job> script_job_syntax() { return der::make_rule<script_job_grammar>(); }
der::rule<vesk_build_job> vesk_build_job_syntax() { return der::make_rule<vesk_build_job_grammar>(); }
der::rule<job> job_syntax() { return der::make_rule<job_grammar>(); }
der::rule<uuid> uuid_syntax() { return der::make_rule<uuid_grammar>(); }
der::rule<execution_result> res_syntax() { return der::make_rule<res_grammar>(); }

}  // namespace quarvel::asn
