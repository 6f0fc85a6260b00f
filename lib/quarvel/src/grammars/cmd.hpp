#pragma once
// The grammars of the protocol commands: `client_or_worker` and `cmd`, one CHOICE of the tags [0] to
// [22], written as four groups of at most six alternatives ([0]-[5], [6]-[11], [12]-[17], [18]-[22]);
// the grouping leaves no trace on the wire.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include <der/grammar.hpp>
#include "grammars/forms.hpp"
#include "grammars/labels.hpp"
#include "grammars/record.hpp"
#include "grammars/state.hpp"
#include <quarvel/model.hpp>

namespace quarvel::asn {

using command = quarvel::cmd;

inline const auto client_or_worker_syntax = enumerated(std::array{quarvel::client_or_worker::Client, quarvel::client_or_worker::Worker},
                                                der::choice2(der::explicit_(0, der::null), der::explicit_(1, der::null)));

// An execution in progress, as the scheduler overview lists it.
inline const auto running_entry_syntax = der::map(
    [](auto&& read) -> der::result<quarvel::running_entry> {
        auto& [started, id, running] = read;
        return quarvel::running_entry{started, id, std::move(running)};
    },
    [](const quarvel::running_entry& r) { return fields(r.started, r.uuid, r.job); },
    der::sequence3(der::required(label::started, time_syntax),
                   der::required(label::uuid, uuid_syntax),
                   der::required(label::job, script_job_syntax)));

// The members of the scheduler overview: [22] has all four, the older [7] the first three.
inline const auto overview_schedule = der::required(label::schedule, der::sequence_of(schedule_syntax));
inline const auto overview_queues = der::required(label::queues, der::sequence_of(queue_syntax));
inline const auto overview_running = der::required(label::running, der::sequence_of(running_entry_syntax));
inline const auto overview_dropped = der::required(label::dropped_platforms, der::sequence_of(der::utf8_string));

// The duration of `Output_timestamped` crosses the wire as an INTEGER. A negative INTEGER is read as
// its two's-complement pattern, so a duration is written as the signed number of that same pattern;
// the patterns no INTEGER of the 63-bit range can hold are written as the nearest one that it can.
inline std::int64_t duration_integer(quarvel::duration d) {
    const auto pattern = static_cast<std::int64_t>(d.nanoseconds);
    return pattern > der::max_integer ? der::max_integer : pattern < der::min_integer ? der::min_integer : pattern;
}

// What alternative [4] writes, for `Output` (no timestamp) and `Output_timestamped`.
struct output_view {
    const quarvel::uuid* uuid;
    std::string_view output;
    std::optional<std::int64_t> timestamp;
};

// The encode side: a view of the command in the slot of its tag. The retired and older tags have
// `unwritten` slots.
using command_view = std::variant<
    std::variant<unwritten, unwritten, ref<command::Job_schedule>, ref<command::Job_finished>, output_view,
                 ref<command::Schedule>>,
    std::variant<ref<command::Info>, unwritten, unwritten, ref<command::Unschedule>, ref<command::Observe>, unwritten>,
    std::variant<ref<command::Schedule_vesk_build>, ref<command::Reschedule>, ref<command::Client_hello>,
                 ref<command::Server_hello>, ref<command::Job_request>, ref<command::Drop_platform>>,
    std::variant<ref<command::Success>, ref<command::Failure>, ref<command::Execute>, ref<command::Undrop_platform>,
                 ref<command::Info_reply>>>;

template <std::size_t Tag, class Slot>
command_view written_as(Slot slot) {
    using group = std::variant_alternative_t<Tag / 6, command_view>;
    return command_view(std::in_place_index<Tag / 6>, group(std::in_place_index<Tag % 6>, std::move(slot)));
}

inline constexpr std::string_view retired_command = "retired command";

inline const auto cmd_syntax = der::map(
    [](auto&& read) -> der::result<command> {
        return std::visit([](auto& group) { return std::visit([](command& c) { return std::move(c); }, group); }, read);
    },
    [](const command& c) {
        return std::visit(
            overloaded{
                [](const command::Job_request& x) { return written_as<16>(std::cref(x)); },
                [](const command::Job_schedule& x) { return written_as<2>(std::cref(x)); },
                [](const command::Job_finished& x) { return written_as<3>(std::cref(x)); },
                [](const command::Output& x) { return written_as<4>(output_view{&x.uuid, x.output, std::nullopt}); },
                [](const command::Output_timestamped& x) {
                    return written_as<4>(output_view{&x.uuid, x.output, duration_integer(x.timestamp)});
                },
                [](const command::Schedule& x) { return written_as<5>(std::cref(x)); },
                [](const command::Unschedule& x) { return written_as<9>(std::cref(x)); },
                [](const command::Info& x) { return written_as<6>(std::cref(x)); },
                [](const command::Info_reply& x) { return written_as<22>(std::cref(x)); },
                [](const command::Observe& x) { return written_as<10>(std::cref(x)); },
                [](const command::Execute& x) { return written_as<20>(std::cref(x)); },
                [](const command::Schedule_vesk_build& x) { return written_as<12>(std::cref(x)); },
                [](const command::Reschedule& x) { return written_as<13>(std::cref(x)); },
                [](const command::Drop_platform& x) { return written_as<17>(std::cref(x)); },
                [](const command::Undrop_platform& x) { return written_as<21>(std::cref(x)); },
                [](const command::Client_hello& x) { return written_as<14>(std::cref(x)); },
                [](const command::Server_hello& x) { return written_as<15>(std::cref(x)); },
                [](const command::Success& x) { return written_as<18>(std::cref(x)); },
                [](const command::Failure& x) { return written_as<19>(std::cref(x)); },
            },
            c.value);
    },
    der::choice4(
        der::choice6(
            retired<command>(retired_command, der::explicit_(0, der::int_)),
            retired<command>(retired_command, der::explicit_(1, der::int_)),
            der::map(
                [](auto&& read) -> der::result<command> {
                    auto& [id, assigned] = read;
                    return command{command::Job_schedule{id, std::move(assigned)}};
                },
                [](const command::Job_schedule& x) { return fields(x.uuid, x.job); },
                der::explicit_(2, der::sequence2(der::required(label::uuid, uuid_syntax),
                                                 der::required(label::job, script_job_syntax)))),
            der::map(
                [](auto&& read) -> der::result<command> {
                    auto& [id, result, output] = read;
                    return command{command::Job_finished{id, std::move(result), std::move(output)}};
                },
                [](const command::Job_finished& x) { return fields(x.uuid, x.result, x.data); },
                der::explicit_(3, der::sequence3(der::required(label::uuid, uuid_syntax),
                                                 der::required(label::result, res_syntax),
                                                 der::required(label::data, data_syntax)))),
            der::map(
                [](auto&& read) -> der::result<command> {
                    auto& [id, output, timestamp] = read;
                    if (!timestamp) return command{command::Output{id, std::move(output)}};
                    return command{command::Output_timestamped{
                        id, quarvel::duration{static_cast<std::uint64_t>(*timestamp)}, std::move(output)}};
                },
                [](const output_view& x) { return fields(*x.uuid, x.output, x.timestamp); },
                der::explicit_(4, der::sequence3(der::required(label::uuid, uuid_syntax),
                                                 der::required(label::output, der::utf8_string),
                                                 der::optional(label::timestamp, der::int_)))),
            der::map(
                [](auto&& read) -> der::result<command> {
                    auto& [every, scheduled] = read;
                    return command{command::Schedule{every, std::move(scheduled)}};
                },
                [](const command::Schedule& x) { return fields(x.period, x.job); },
                der::explicit_(5, der::sequence2(der::required(label::period, period_syntax),
                                                 der::required(label::job, script_job_syntax))))),
        der::choice6(
            der::map([](std::monostate) -> der::result<command> { return command{command::Info{}}; },
                     [](const command::Info&) { return std::monostate{}; }, der::explicit_(6, der::null)),
            read_only(
                [](auto&& read) -> der::result<command> {
                    auto& [scheduled, queues, running] = read;
                    return command{command::Info_reply{
                        quarvel::info{std::move(scheduled), std::move(queues), std::move(running), {}}}};
                },
                der::explicit_(7, der::sequence3(overview_schedule, overview_queues, overview_running))),
            retired<command>(retired_command, der::explicit_(8, der::null)),
            der::map([](std::string&& name) -> der::result<command> { return command{command::Unschedule{std::move(name)}}; },
                     [](const command::Unschedule& x) { return std::string_view(x.name); },
                     der::explicit_(9, der::utf8_string)),
            der::map([](quarvel::uuid&& id) -> der::result<command> { return command{command::Observe{id}}; },
                     [](const command::Observe& x) -> const quarvel::uuid& { return x.uuid; },
                     der::explicit_(10, uuid_syntax)),
            read_only(
                [](std::string&& job_name) -> der::result<command> {
                    return command{command::Execute{std::move(job_name), std::nullopt}};
                },
                der::explicit_(11, der::utf8_string))),
        der::choice6(
            der::map(
                [](auto&& read) -> der::result<command> {
                    auto& [every, scheduled] = read;
                    return command{command::Schedule_vesk_build{every, std::move(scheduled)}};
                },
                [](const command::Schedule_vesk_build& x) { return fields(x.period, x.vesk_build_job); },
                der::explicit_(12, der::sequence2(der::required(label::period, period_syntax),
                                                  der::required(label::vesk_build_job, vesk_build_job_syntax)))),
            der::map(
                [](auto&& read) -> der::result<command> {
                    auto& [name, next, every] = read;
                    return command{command::Reschedule{std::move(name), next, every}};
                },
                [](const command::Reschedule& x) { return fields(x.name, x.next, x.period); },
                der::explicit_(13, der::sequence3(der::required(label::name, der::utf8_string),
                                                  der::required(label::next, time_syntax),
                                                  der::optional(label::period, period_syntax)))),
            der::map(
                [](auto&& read) -> der::result<command> {
                    auto& [typ, version] = read;
                    return command{command::Client_hello{typ, version}};
                },
                [](const command::Client_hello& x) { return fields(x.typ, x.version); },
                der::explicit_(14, der::sequence2(der::required(label::typ, client_or_worker_syntax),
                                                  der::required(label::version, der::int_)))),
            der::map([](std::monostate) -> der::result<command> { return command{command::Server_hello{}}; },
                     [](const command::Server_hello&) { return std::monostate{}; }, der::explicit_(15, der::null)),
            der::map([](std::string&& platform) -> der::result<command> { return command{command::Job_request{std::move(platform)}}; },
                     [](const command::Job_request& x) { return std::string_view(x.platform); },
                     der::explicit_(16, der::utf8_string)),
            der::map([](std::string&& platform) -> der::result<command> { return command{command::Drop_platform{std::move(platform)}}; },
                     [](const command::Drop_platform& x) { return std::string_view(x.platform); },
                     der::explicit_(17, der::utf8_string))),
        der::choice5(
            der::map([](std::monostate) -> der::result<command> { return command{command::Success{}}; },
                     [](const command::Success&) { return std::monostate{}; }, der::explicit_(18, der::null)),
            der::map([](std::string&& message) -> der::result<command> { return command{command::Failure{std::move(message)}}; },
                     [](const command::Failure& x) { return std::string_view(x.message); },
                     der::explicit_(19, der::utf8_string)),
            der::map(
                [](auto&& read) -> der::result<command> {
                    auto& [job_name, platform] = read;
                    return command{command::Execute{std::move(job_name), std::move(platform)}};
                },
                [](const command::Execute& x) { return fields(x.job_name, x.platform); },
                der::explicit_(20, der::sequence2(der::required(label::job_name, der::utf8_string),
                                                  der::optional(label::platform, der::utf8_string)))),
            der::map([](std::string&& platform) -> der::result<command> { return command{command::Undrop_platform{std::move(platform)}}; },
                     [](const command::Undrop_platform& x) { return std::string_view(x.platform); },
                     der::explicit_(21, der::utf8_string)),
            der::map(
                [](auto&& read) -> der::result<command> {
                    auto& [scheduled, queues, running, dropped] = read;
                    return command{command::Info_reply{
                        quarvel::info{std::move(scheduled), std::move(queues), std::move(running), std::move(dropped)}}};
                },
                [](const command::Info_reply& x) {
                    return fields(x.info.schedule, x.info.queues, x.info.running, x.info.dropped_platforms);
                },
                der::explicit_(22, der::sequence4(overview_schedule, overview_queues, overview_running, overview_dropped))))));

}  // namespace quarvel::asn
