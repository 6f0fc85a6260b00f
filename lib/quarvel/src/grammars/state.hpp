#pragma once
// The grammars of the persisted scheduler state: `period`, `schedule`, `old_schedule`, `queue`,
// `state_item` and the state itself. `period`, `schedule` and `queue` are members of commands too.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <der/grammar.hpp>
#include "grammars/forms.hpp"
#include "grammars/labels.hpp"
#include "grammars/record.hpp"
#include <quarvel/log.hpp>
#include <quarvel/model.hpp>

namespace quarvel::asn {

inline const auto period_syntax = enumerated(
    std::array{quarvel::period::Hourly, quarvel::period::Daily, quarvel::period::Weekly, quarvel::period::Never},
    der::choice4(der::explicit_(0, der::null), der::explicit_(1, der::null), der::explicit_(2, der::null),
                 der::explicit_(3, der::null)));

// The current form of a schedule item.
inline const auto schedule_syntax = der::map(
    [](auto&& read) -> der::result<quarvel::schedule_item> {
        auto& [next, every, scheduled] = read;
        return quarvel::schedule_item{next, every, std::move(scheduled)};
    },
    [](const quarvel::schedule_item& s) { return fields(s.next, s.period, s.job); },
    der::sequence3(der::required(label::next, time_syntax),
                   der::required(label::period, period_syntax),
                   der::required(label::job, job_syntax)));

// The older form of a schedule item: UTCTime only, and a bare script job. Read, never written.
inline const auto old_schedule_syntax = read_only(
    [](auto&& read) -> der::result<quarvel::schedule_item> {
        auto& [next, every, scheduled] = read;
        return quarvel::schedule_item{next, every, quarvel::job(std::move(scheduled))};
    },
    der::sequence3(der::required(label::next, der::utc_time),
                   der::required(label::period, period_syntax),
                   der::required(label::job, script_job_syntax)));

// The jobs waiting for one platform (a state item [4], and an entry of the scheduler overview).
inline const auto queue_syntax = der::map(
    [](auto&& read) -> der::result<quarvel::queue_entry> {
        auto& [platform, jobs] = read;
        return quarvel::queue_entry{std::move(platform), std::move(jobs)};
    },
    [](const auto& q) { return fields(q.platform, q.jobs); },
    der::sequence2(der::required(label::platform, der::utf8_string),
                   der::required(label::jobs, der::sequence_of(job_syntax))));

// A state item as read: retired items yield nothing.
using read_state_item = std::optional<quarvel::state_item>;

namespace detail {

inline der::result<read_state_item> as_schedule(quarvel::schedule_item&& s) {
    return quarvel::state_item{quarvel::state_item::Schedule{std::move(s)}};
}

// A retired item: logged as it is read, in input order, and left out of the state.
template <class Read>
der::result<read_state_item> dropped(Read&&, std::string_view warning) {
    quarvel::log::warning(quarvel::log::library, warning);
    return std::nullopt;
}

}  // namespace detail

inline const auto state_item_syntax = der::map(
    [](std::variant<read_state_item, read_state_item, read_state_item, read_state_item, read_state_item,
                    read_state_item>&& read) -> der::result<read_state_item> {
        return std::visit([](read_state_item& item) { return std::move(item); }, read);
    },
    [](const quarvel::state_item& item) {
        using written = std::variant<unwritten, unwritten, unwritten, ref<quarvel::schedule_item>,
                                     ref<quarvel::state_item::Queue>, std::string_view>;
        return std::visit(
            overloaded{
                [](const quarvel::state_item::Schedule& s) { return written(std::in_place_index<3>, s.item); },
                [](const quarvel::state_item::Queue& q) { return written(std::in_place_index<4>, q); },
                [](const quarvel::state_item::Dropped_platform& d) {
                    return written(std::in_place_index<5>, d.platform);
                },
            },
            item.value);
    },
    der::choice6(
        read_only(
            [](quarvel::script_job&& j) {
                return detail::dropped(j, "script job for queue no longer supported, ignoring");
            },
            der::explicit_(0, script_job_syntax)),
        der::map(detail::as_schedule, as<unwritten>, der::explicit_(1, old_schedule_syntax)),
        read_only([](quarvel::job&& j) { return detail::dropped(j, "job for queue no longer supported, ignoring"); },
                  der::explicit_(2, job_syntax)),
        der::map(detail::as_schedule, as<quarvel::schedule_item>, der::explicit_(3, schedule_syntax)),
        der::map(
            [](quarvel::queue_entry&& q) -> der::result<read_state_item> {
                return quarvel::state_item{quarvel::state_item::Queue{std::move(q.platform), std::move(q.jobs)}};
            },
            as<quarvel::state_item::Queue>, der::explicit_(4, queue_syntax)),
        der::map(
            [](std::string&& platform) -> der::result<read_state_item> {
                return quarvel::state_item{quarvel::state_item::Dropped_platform{std::move(platform)}};
            },
            [](std::string_view platform) { return platform; }, der::explicit_(5, der::utf8_string))));

// The persisted state: the items that were read as something, in input order.
inline const auto state_syntax = der::map(
    [](std::vector<read_state_item>&& read) -> der::result<quarvel::state> {
        quarvel::state items;
        items.reserve(read.size());
        for (read_state_item& item : read)
            if (item) items.push_back(std::move(*item));
        return items;
    },
    [](const quarvel::state& items) -> const quarvel::state& { return items; },
    der::sequence_of(state_item_syntax));

}  // namespace quarvel::asn
