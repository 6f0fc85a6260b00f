// The member grammars of the persisted scheduler state; `period_syntax`, `schedule_syntax` and
// `queue_syntax` serve the commands too.
#include <array>

#include "grammars/forms.hpp"
#include "grammars/labels.hpp"
#include "grammars/record.hpp"
#include "grammars/state.hpp"

namespace quarvel::asn {

namespace {

const auto& period_grammar() {
    static const auto g =
        der::enumerated(std::array{period::Hourly, period::Daily, period::Weekly, period::Never},
                   der::choice4(der::explicit_(0, der::null), der::explicit_(1, der::null), der::explicit_(2, der::null),
                                der::explicit_(3, der::null)));
    return g;
}

const auto& schedule_grammar() {
    static const auto g = der::aggregate<schedule_item>(der::sequence3(der::required(label::next, time_syntax()),
                                                                       der::required(label::period, period_syntax()),
                                                                       der::required(label::job, job_syntax())));
    return g;
}

const auto& legacy_schedule_grammar() {
    static const auto g = read_legacy(
        [](auto&& read) {
            auto& [next, every, scheduled] = read;
            return schedule_item{next, every, job(std::move(scheduled))};
        },
        der::sequence3(der::required(label::next, der::utc_time),
                       der::required(label::period, period_syntax()),
                       der::required(label::job, script_job_syntax())));
    return g;
}

// The members of a queue, both as a state item [4] and as an entry of the scheduler overview.
auto queue_members() {
    return der::sequence2(der::required(label::platform, der::utf8_string),
                          der::required(label::jobs, der::sequence_of(job_syntax())));
}

const auto& queue_grammar() {
    static const auto g = der::aggregate<queue_entry>(queue_members());
    return g;
}

const auto& state_queue_grammar() {
    static const auto g = der::aggregate<state_item::Queue>(queue_members());
    return g;
}

}  // namespace

der::rule<period> period_syntax() { return der::make_rule<period_grammar>(); }
der::rule<schedule_item> schedule_syntax() { return der::make_rule<schedule_grammar>(); }
der::rule<schedule_item, legacy> legacy_schedule_syntax() { return der::make_rule<legacy_schedule_grammar, legacy>(); }
der::rule<queue_entry> queue_syntax() { return der::make_rule<queue_grammar>(); }
der::rule<state_item::Queue> state_queue_syntax() { return der::make_rule<state_queue_grammar>(); }

}  // namespace quarvel::asn
