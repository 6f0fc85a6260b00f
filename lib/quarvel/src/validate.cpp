// Checking a value before it is encoded. Each rule stays with the codec that keeps it (the path rule
// with the decoder, the integer range in der, a duration's INTEGER in the command grammar); this walk
// only visits every place of the model where one of them applies, in wire order, so that of several
// faults it names the one the decoder would meet first.
#include <quarvel/asn.hpp>

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include <der/primitives.hpp>
#include <der/time_text.hpp>
#include <quarvel/der_time.hpp>

#include "grammars/cmd.hpp"
#include "grammars/forms.hpp"
#include "grammars/path.hpp"

namespace quarvel::asn {

namespace {

using check = result<void>;

// An INTEGER of all eight octets of `bits`, most significant first: every value outside the 63-bit
// range needs all of them. The message is the decoder's own for those octets.
check integer_octets(std::uint64_t bits) {
    char octets[8];
    for (std::size_t i = 0; i < 8; ++i) octets[i] = static_cast<char>(bits >> (56 - 8 * i));
    auto read = der::read_integer(std::string_view(octets, sizeof octets));
    if (read) return {};
    return der::error(std::move(read.error()));
}

// The encoder confines an integer to the range instead of writing it: refused with the message its
// own octets would get.
check integer(std::int64_t value) {
    if (value >= der::min_integer && value <= der::max_integer) return {};
    return integer_octets(static_cast<std::uint64_t>(value));
}

// A duration crosses as the INTEGER of its bit pattern; refused when what is written reads back as
// another duration.
check span(duration d) {
    if (static_cast<std::uint64_t>(duration_integer(d)) == d.nanoseconds) return {};
    return integer_octets(d.nanoseconds);
}

// The encoder confines a time to the years 0000 to 9999 and a sub-second part to below one second;
// either is refused with the decoder's words for a time out of its range. Milliseconds are all a time
// keeps: a finer part is not a fault.
check time(timestamp t) {
    if (der::in_timestamp_range(t.seconds) && t.nanoseconds <= 999'999'999) return {};
    // Named as it would be written if nothing were confined: the year in full, the sub-second part as its
    // whole milliseconds (1,000,000,000 ns after 05 is 06, not 05.1000).
    const auto text = der::write_time_text(t, der::time_layout::generalized, der::time_fraction::milliseconds);
    return der::error("GeneralizedTime: out of range: " + std::string(text.view()));
}

// The decoder's own path rule, over a copy: the copy is normalised and dropped.
check path(const std::string& p) {
    auto read = valid_path(std::string(p));
    if (read) return {};
    return der::error(std::move(read.error()));
}

template <class T, class F>
check each(const std::vector<T>& items, F&& check_item) {
    for (const T& item : items)
        if (auto r = check_item(item); !r) return r;
    return {};
}

check files(const data& d) {
    return each(d, [](const output_file& f) { return path(f.path); });
}

check outcome(const execution_result& r) {
    return std::visit(overloaded{
                          [](const Exited& x) { return integer(x.code); },
                          [](const Signalled& x) { return integer(x.signal); },
                          [](const Stopped& x) { return integer(x.signal); },
                          [](const Msg&) { return check{}; },
                      },
                      r);
}

check timetable(const std::vector<schedule_item>& items) {
    return each(items, [](const schedule_item& s) { return time(s.next); });
}

check overview(const info& i) {
    if (auto r = timetable(i.schedule); !r) return r;
    return each(i.running, [](const running_entry& e) { return time(e.started); });
}

template <class T, class... Ts>
concept any_of_types = (std::same_as<T, Ts> || ...);

// One overload per command that holds something to check; the rest are listed by name, so that a new
// alternative does not compile until it has been placed on one side or the other.
struct command_check {
    check operator()(const cmd::Job_finished& x) const {
        if (auto r = outcome(x.result); !r) return r;
        return files(x.data);
    }
    check operator()(const cmd::Output_timestamped& x) const { return span(x.timestamp); }
    check operator()(const cmd::Info_reply& x) const { return overview(x.info); }
    check operator()(const cmd::Reschedule& x) const { return time(x.next); }
    check operator()(const cmd::Client_hello& x) const { return integer(x.version); }
    // Texts, uuids, jobs and periods only: any value of theirs is written and read back as it is.
    template <class C>
        requires any_of_types<C, cmd::Job_request, cmd::Job_schedule, cmd::Output, cmd::Schedule, cmd::Unschedule,
                        cmd::Info, cmd::Observe, cmd::Execute, cmd::Schedule_vesk_build, cmd::Drop_platform,
                        cmd::Undrop_platform, cmd::Server_hello, cmd::Success, cmd::Failure>
    check operator()(const C&) const {
        return {};
    }
};

}  // namespace

result<void> validate(const execution_record& record) {
    if (auto r = each(record.console, [](const console_line& l) { return integer(l.delta); }); !r) return r;
    if (auto r = time(record.started); !r) return r;
    if (auto r = time(record.finished); !r) return r;
    if (auto r = outcome(record.result); !r) return r;
    return files(record.output);
}

result<void> validate(const state& s) {
    return each(s, [](const state_item& item) {
        return std::visit(overloaded{
                              [](const state_item::Schedule& x) { return time(x.item.next); },
                              [](const state_item::Queue&) { return check{}; },
                              [](const state_item::Dropped_platform&) { return check{}; },
                          },
                          item.value);
    });
}

result<void> validate(const cmd& c) { return std::visit(command_check{}, c.value); }

}  // namespace quarvel::asn
