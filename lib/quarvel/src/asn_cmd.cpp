// The protocol commands: one line per tag, and their codec.
#include <quarvel/asn.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "grammars/cmd.hpp"
#include "grammars/codec.hpp"
#include "grammars/forms.hpp"
#include "grammars/labels.hpp"
#include "grammars/record.hpp"
#include "grammars/state.hpp"

namespace quarvel::asn {

namespace {

inline constexpr std::string_view retired_command = "retired command";

// A legacy tag no longer in use: its contents are read and checked, then refused.
template <class G>
auto refused_legacy_tag(std::uint64_t number, G g) {
    return der::legacy(refuse_legacy<cmd>(retired_command, der::explicit_(number, std::move(g))));
}

// The tag [number] holding the members of the model alternative M, in declaration order; read and
// written.
template <class M, class G>
auto tagged(std::uint64_t number, G members) {
    return der::writes<M>(der::explicit_(number, der::aggregate<M>(std::move(members))));
}

// One line per tag. To add a command: its alternative in `cmd`, then one line here, one arm in its
// printer (`pp_cmd`), one arm in its JSON writer (`write_json` in app/dump/json.cpp) and its place in
// the checks before encoding (`command_check` in validate.cpp: an overload when it holds a value that
// can be refused, else its name in the list of those that hold none). Each is checked by the compiler: a
// variant alternative that no line here writes, that a printer's visit leaves out, or that the checks
// place on neither side, does not compile.
const auto& cmd_grammar() {
    using der::required, der::optional, der::sequence2, der::sequence3;
    static const auto g = der::variant_choice<cmd>(
        refused_legacy_tag(0, der::int_),
        refused_legacy_tag(1, der::int_),
        tagged<cmd::Job_schedule>(2, sequence2(required(label::uuid, uuid_syntax()), required(label::job, script_job_syntax()))),
        tagged<cmd::Job_finished>(3, sequence3(required(label::uuid, uuid_syntax()), required(label::result, res_syntax()),
                                               required(label::data, data_syntax()))),
        der::writes<cmd::Output, cmd::Output_timestamped>(der::explicit_(4, output_syntax())),
        tagged<cmd::Schedule>(5, sequence2(required(label::period, period_syntax()), required(label::job, script_job_syntax()))),
        tagged<cmd::Info>(6, der::null),
        der::legacy(der::explicit_(7, legacy_overview_syntax())),
        refused_legacy_tag(8, der::null),
        tagged<cmd::Unschedule>(9, der::utf8_string),
        tagged<cmd::Observe>(10, uuid_syntax()),
        // The legacy form of [20], without a platform.
        der::legacy(der::explicit_(11, read_legacy([](std::string&& job_name) { return cmd::Execute{std::move(job_name), std::nullopt}; },
                                                   der::utf8_string))),
        tagged<cmd::Schedule_vesk_build>(12, sequence2(required(label::period, period_syntax()),
                                                       required(label::vesk_build_job, vesk_build_job_syntax()))),
        tagged<cmd::Reschedule>(13, sequence3(required(label::name, der::utf8_string), required(label::next, time_syntax()),
                                              optional(label::period, period_syntax()))),
        tagged<cmd::Client_hello>(14, sequence2(required(label::typ, client_or_worker_syntax()),
                                                required(label::version, der::int_))),
        tagged<cmd::Server_hello>(15, der::null),
        tagged<cmd::Job_request>(16, der::utf8_string),
        tagged<cmd::Drop_platform>(17, der::utf8_string),
        tagged<cmd::Success>(18, der::null),
        tagged<cmd::Failure>(19, der::utf8_string),
        tagged<cmd::Execute>(20, sequence2(required(label::job_name, der::utf8_string), optional(label::platform, der::utf8_string))),
        tagged<cmd::Undrop_platform>(21, der::utf8_string),
        tagged<cmd::Info_reply>(22, overview_syntax()));
    return g;
}

// Built on first use (thread-safe, and safe from other static initialisers); an ambiguous grammar
// stops the program here.
const auto& cmd_projections() {
    static const auto projections = projections_of(cmd_syntax(), "cmd", "command");
    return projections;
}

}  // namespace

der::rule<cmd> cmd_syntax() { return der::make_rule<cmd_grammar>(); }

result<cmd> cmd_of_str(std::string_view bytes) { return cmd_projections().decode(bytes); }

std::expected<cmd, decode_error> cmd_of_str_located(std::string_view bytes) {
    return cmd_projections().decode_located(bytes);
}

std::string cmd_to_str(const cmd& c) { return cmd_projections().encode(c); }

}  // namespace quarvel::asn
