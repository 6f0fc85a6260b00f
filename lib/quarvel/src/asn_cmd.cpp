// The protocol commands: their grammars and codec.
#include <quarvel/asn.hpp>

#include <array>
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

const auto& client_or_worker_grammar() {
    static const auto g = enumerated(std::array{client_or_worker::Client, client_or_worker::Worker},
                                     der::choice2(der::explicit_(0, der::null), der::explicit_(1, der::null)));
    return g;
}

// The members of the scheduler overview: [22] has all four, the older [7] the first three.
auto overview_schedule() { return der::required(label::schedule, der::sequence_of(schedule_syntax())); }
auto overview_queues() { return der::required(label::queues, der::sequence_of(queue_syntax())); }
auto overview_running() {
    // An execution in progress.
    return der::required(label::running,
                         der::sequence_of(der::aggregate<running_entry>(der::sequence3(
                             der::required(label::started, time_syntax()), der::required(label::uuid, uuid_syntax()),
                             der::required(label::job, script_job_syntax())))));
}
auto overview_dropped() { return der::required(label::dropped_platforms, der::sequence_of(der::utf8_string)); }

// The duration of `Output_timestamped` crosses the wire as an INTEGER. A negative INTEGER is read as
// its two's-complement pattern, so a duration is written as the signed number of that same pattern;
// the patterns no INTEGER of the 63-bit range can hold are written as the nearest one that it can.
std::int64_t duration_integer(duration d) {
    const auto pattern = static_cast<std::int64_t>(d.nanoseconds);
    return pattern > der::max_integer ? der::max_integer : pattern < der::min_integer ? der::min_integer : pattern;
}

// What [4] writes, for `Output` (no timestamp) and `Output_timestamped`.
struct output_view {
    const uuid& id;
    std::string_view output;
    std::optional<std::int64_t> timestamp;

    output_view(const cmd::Output& x) : id(x.uuid), output(x.output) {}
    output_view(const cmd::Output_timestamped& x)
        : id(x.uuid), output(x.output), timestamp(duration_integer(x.timestamp)) {}
};

const auto& output_grammar() {
    static const auto g = der::map(
        [](auto&& read) -> cmd {
            auto& [id, output, timestamp] = read;
            if (!timestamp) return cmd{cmd::Output{id, std::move(output)}};
            return cmd{cmd::Output_timestamped{id, duration{static_cast<std::uint64_t>(*timestamp)}, std::move(output)}};
        },
        [](const output_view& x) { return fields(x.id, x.output, x.timestamp); },
        der::sequence3(der::required(label::uuid, uuid_syntax()), der::required(label::output, der::utf8_string),
                       der::optional(label::timestamp, der::int_)));
    return g;
}
der::rule<cmd, output_view> output_syntax() { return der::make_rule<output_grammar, output_view>(); }

inline constexpr std::string_view retired_command = "retired command";

// A retired tag: its contents are read and checked, then refused.
template <class G>
auto retired_tag(std::uint64_t number, G g) {
    return der::reads(retired<cmd>(retired_command, der::explicit_(number, std::move(g))));
}

// The tag [number] holding the members of the model alternative M, in declaration order; read and
// written.
template <class M, class G>
auto tagged(std::uint64_t number, G members) {
    return der::writes<M>(der::explicit_(number, der::aggregate<M>(std::move(members))));
}

// One line per tag. To add a command: its alternative in `cmd`, one line here, one arm in its printer.
const auto& cmd_grammar() {
    using der::required, der::optional, der::sequence2, der::sequence3, der::sequence4;
    static const auto g = der::variant_choice<cmd>(
        retired_tag(0, der::int_),
        retired_tag(1, der::int_),
        tagged<cmd::Job_schedule>(2, sequence2(required(label::uuid, uuid_syntax()), required(label::job, script_job_syntax()))),
        tagged<cmd::Job_finished>(3, sequence3(required(label::uuid, uuid_syntax()), required(label::result, res_syntax()),
                                               required(label::data, data_syntax()))),
        der::writes<cmd::Output, cmd::Output_timestamped>(der::explicit_(4, output_syntax())),
        tagged<cmd::Schedule>(5, sequence2(required(label::period, period_syntax()), required(label::job, script_job_syntax()))),
        tagged<cmd::Info>(6, der::null),
        // The older form of [22], without the dropped platforms.
        der::reads(der::explicit_(7, der::map([](auto&& read) {
                                                  auto& [scheduled, queues, running] = read;
                                                  return cmd::Info_reply{info{std::move(scheduled), std::move(queues),
                                                                              std::move(running), {}}};
                                              },
                                              [](const unwritten&) {}, sequence3(overview_schedule(), overview_queues(),
                                                                                 overview_running())))),
        retired_tag(8, der::null),
        tagged<cmd::Unschedule>(9, der::utf8_string),
        tagged<cmd::Observe>(10, uuid_syntax()),
        // The older form of [20], without a platform.
        der::reads(der::explicit_(11, der::map([](std::string&& job_name) { return cmd::Execute{std::move(job_name), std::nullopt}; },
                                               [](const unwritten&) {}, der::utf8_string))),
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
        tagged<cmd::Info_reply>(22, der::aggregate<info>(sequence4(overview_schedule(), overview_queues(), overview_running(),
                                                                   overview_dropped()))));
    return g;
}

// Built on first use (thread-safe, and safe from other static initialisers); an ambiguous grammar
// stops the program here.
const auto& cmd_projections() {
    static const auto projections = projections_of(cmd_syntax(), "cmd");
    return projections;
}

}  // namespace

der::rule<client_or_worker> client_or_worker_syntax() { return der::make_rule<client_or_worker_grammar>(); }
der::rule<cmd> cmd_syntax() { return der::make_rule<cmd_grammar>(); }

result<cmd> cmd_of_str(std::string_view bytes) { return cmd_projections().decode(bytes); }

std::string cmd_to_str(const cmd& c) { return cmd_projections().encode(c); }

}  // namespace quarvel::asn
