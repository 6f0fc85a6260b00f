// The scheduler overview, the member of the commands [22] and, in its legacy form, [7].
#include <string>
#include <utility>

#include "grammars/cmd.hpp"
#include "grammars/forms.hpp"
#include "grammars/labels.hpp"
#include "grammars/record.hpp"
#include "grammars/state.hpp"

namespace quarvel::asn {

namespace {

// The members of the scheduler overview: [22] has all four, the legacy [7] the first three.
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

const auto& overview_grammar() {
    static const auto g = der::aggregate<info>(
        der::sequence4(overview_schedule(), overview_queues(), overview_running(), overview_dropped()));
    return g;
}

// The legacy form, without the dropped platforms.
const auto& legacy_overview_grammar() {
    static const auto g = read_legacy(
        [](auto&& read) {
            auto& [scheduled, queues, running] = read;
            return cmd::Info_reply{info{std::move(scheduled), std::move(queues), std::move(running), {}}};
        },
        der::sequence3(overview_schedule(), overview_queues(), overview_running()));
    return g;
}

}  // namespace

der::rule<info> overview_syntax() { return der::make_rule<overview_grammar>(); }
der::rule<cmd::Info_reply, legacy> legacy_overview_syntax() { return der::make_rule<legacy_overview_grammar, legacy>(); }

}  // namespace quarvel::asn
