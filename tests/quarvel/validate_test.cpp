// `validate` refuses exactly what a peer would refuse or read back changed, with the decoder's words,
// and passes everything else, however odd, that reads back.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <der/primitives.hpp>
#include <quarvel/asn.hpp>

#include "../../samples/hello_record.hpp"
#include "../../samples/operator_samples.hpp"
#include "asn_bytes.hpp"

namespace {

using namespace asn_bytes;
using quarvel::cmd;
using quarvel::execution_record;
using quarvel::state;
using quarvel::state_item;
using quarvel::timestamp;

constexpr std::int64_t pow2_62 = std::int64_t{1} << 62;
constexpr std::int64_t latest_second = der::max_timestamp_seconds;
constexpr std::int64_t earliest_second = der::min_timestamp_seconds;

quarvel::result<execution_record> round_trip(const execution_record& r) {
    return quarvel::asn::exec_of_str(quarvel::asn::exec_to_str(r));
}
quarvel::result<state> round_trip(const state& s) { return quarvel::asn::state_of_str(quarvel::asn::state_to_str(s)); }
quarvel::result<cmd> round_trip(const cmd& c) { return quarvel::asn::cmd_of_str(quarvel::asn::cmd_to_str(c)); }

// What the encoder does with the faulty value.
enum class encoding {
    refused,            // writes it as it is, and the decoder refuses it
    confined,           // writes the nearest value it can spell, which reads back as another value
    stops_debug_build,  // an INTEGER outside the range: confined with assertions off, else a stop
    several,            // several faults of these kinds: the row is about which one is named
};

template <class T>
struct fault {
    const char* name;
    T value;
    std::string message;
    encoding written;
};

template <class T>
T with(T value, const std::function<void(T&)>& change) {
    change(value);
    return value;
}

// The message, and what the real encoder and decoder make of the same value.
template <class T>
void expect_fault(const fault<T>& f) {
    SCOPED_TRACE(f.name);
    const auto checked = quarvel::asn::validate(f.value);
    ASSERT_FALSE(checked) << "validated clean";
    EXPECT_EQ(checked.error(), f.message);
    if (f.written == encoding::refused) {
        EXPECT_EQ(failure_of(round_trip(f.value)), f.message);
        return;
    }
    if (f.written == encoding::several) return;
#ifndef NDEBUG
    if (f.written == encoding::stops_debug_build) return;
#endif
    const auto back = round_trip(f.value);
    ASSERT_TRUE(back) << back.error();
    EXPECT_NE(*back, f.value) << "read back unchanged";
}

template <class T>
void expect_clean(const char* name, const T& value) {
    SCOPED_TRACE(name);
    const auto checked = quarvel::asn::validate(value);
    EXPECT_TRUE(checked) << checked.error();
    EXPECT_EQ(failure_of(round_trip(value)), "(decoded)");
}

TEST(ValidateRecord, FaultsWithTheDecodersMessage) {
    const execution_record base = example_record();
    using R = execution_record;
    const fault<R> cases[] = {
        {"delta_above_range", with<R>(base, [](R& r) { r.console = {{pow2_62, "x"}}; }),
         "INTEGER: int overflow: 4000000000000000", encoding::stops_debug_build},
        {"delta_below_range", with<R>(base, [](R& r) { r.console = {{-pow2_62 - 1, "x"}}; }),
         "INTEGER: int overflow: bfffffffffffffff", encoding::stops_debug_build},
        {"later_delta_lowest_int64", with<R>(base, [](R& r) { r.console.push_back({INT64_MIN, "y"}); }),
         "INTEGER: int overflow: 8000000000000000", encoding::stops_debug_build},
        {"exit_code", with<R>(base, [](R& r) { r.result = quarvel::Exited{INT64_MAX}; }),
         "INTEGER: int overflow: 7fffffffffffffff", encoding::stops_debug_build},
        {"signal", with<R>(base, [](R& r) { r.result = quarvel::Signalled{pow2_62}; }),
         "INTEGER: int overflow: 4000000000000000", encoding::stops_debug_build},
        {"stop_signal", with<R>(base, [](R& r) { r.result = quarvel::Stopped{-pow2_62 - 1}; }),
         "INTEGER: int overflow: bfffffffffffffff", encoding::stops_debug_build},
        {"started_after_9999", with<R>(base, [](R& r) { r.started = {latest_second + 1, 0}; }),
         "GeneralizedTime: out of range: 100000101000000Z", encoding::confined},
        {"finished_before_0000", with<R>(base, [](R& r) { r.finished = {earliest_second - 1, 500'000'000}; }),
         "GeneralizedTime: out of range: -00011231235959.500Z", encoding::confined},
        {"sub_second_part_of_a_whole_second", with<R>(base, [](R& r) { r.started.nanoseconds = 1'000'000'000; }),
         "GeneralizedTime: out of range: 20240102030406Z", encoding::confined},
        {"latest_int64_second", with<R>(base, [](R& r) { r.finished = {INT64_MAX, 999'999'999}; }),
         "GeneralizedTime: out of range: 2922770265961204153007.999Z", encoding::confined},
        {"earliest_int64_second", with<R>(base, [](R& r) { r.started = {INT64_MIN, 0}; }),
         "GeneralizedTime: out of range: -2922770226570127082952Z", encoding::confined},
        {"empty_output_path", with<R>(base, [](R& r) { r.output[0].path = ""; }), "\"\": invalid path",
         encoding::refused},
        {"later_output_path_with_nul", with<R>(base, [](R& r) { r.output.push_back({std::string("a\0b\"", 4), "y"}); }),
         "\"a\\x00b\\\"\": invalid path", encoding::refused},
        // Several faults: the one met first on the wire.
        {"delta_before_times_and_paths", with<R>(base, [](R& r) {
             r.output[0].path = "";
             r.started = {latest_second + 1, 0};
             r.console.push_back({pow2_62, "y"});
         }),
         "INTEGER: int overflow: 4000000000000000", encoding::several},
        {"time_before_result_and_paths", with<R>(base, [](R& r) {
             r.output[0].path = "";
             r.result = quarvel::Exited{INT64_MIN};
             r.finished = {earliest_second - 1, 0};
         }),
         "GeneralizedTime: out of range: -00011231235959Z", encoding::several},
        {"result_before_paths", with<R>(base, [](R& r) {
             r.output[0].path = std::string(1, '\0');
             r.result = quarvel::Signalled{INT64_MIN};
         }),
         "INTEGER: int overflow: 8000000000000000", encoding::several},
    };
    for (const auto& f : cases) expect_fault(f);
}

TEST(ValidateRecord, WhatReadsBackIsClean) {
    using R = execution_record;
    const R base = example_record();
    expect_clean("worked_example", base);
    expect_clean("hello_sample", samples::hello_record());
    expect_clean("empty_console_and_output", with<R>(base, [](R& r) {
                     r.console.clear();
                     r.output.clear();
                 }));
    expect_clean("integers_at_the_ends_of_the_range", with<R>(base, [](R& r) {
                     r.console = {{der::min_integer, "a"}, {der::max_integer, "b"}};
                     r.result = quarvel::Stopped{der::min_integer};
                 }));
    expect_clean("times_at_the_ends_of_the_range", with<R>(base, [](R& r) {
                     r.started = {earliest_second, 0};
                     r.finished = {latest_second, 999'999'999};
                 }));
    // Kept to the millisecond and normalised: read back changed, but by the documented rules.
    expect_clean("sub_millisecond_part", with<R>(base, [](R& r) { r.started.nanoseconds = 123'456'789; }));
    expect_clean("path_with_runs_of_slashes", with<R>(base, [](R& r) { r.output[0].path = "///a//b"; }));
    // Texts are octets: no UTF-8 check anywhere.
    expect_clean("texts_not_utf8", with<R>(base, [](R& r) {
                     r.job.name = "\xC3\x28";
                     r.console[0].data = std::string("\0\xFF", 2);
                     r.result = quarvel::Msg{"\x80"};
                     r.output[0].path = "\xFE/\x7F";
                 }));
}

// A sub-second part of a second or more is refused; the message names the instant it denotes, whole
// seconds carried, with the fraction of three digits a GeneralizedTime has.
TEST(ValidateRecord, SubSecondPartOfASecondOrMoreIsWrittenAsTheInstant) {
    const std::int64_t started = example_record().started.seconds;  // 2024-01-02T03:04:05
    struct row {
        const char* what;
        timestamp time;
        std::string text;
    };
    const row rows[] = {
        {"one_second", {started, 1'000'000'000}, "20240102030406Z"},
        {"one_second_and_a_nanosecond", {started, 1'000'000'001}, "20240102030406.000Z"},
        {"one_and_a_half_seconds", {started, 1'500'000'000}, "20240102030406.500Z"},
        {"largest_part", {started, UINT32_MAX}, "20240102030409.294Z"},
        {"into_the_next_year", {der::from_civil({2024, 12, 31, 23, 59, 59}).seconds, 1'000'000'000}, "20250101000000Z"},
        {"before_1970", {-1, 2'000'000'000}, "19700101000001Z"},
        {"after_9999", {latest_second, 1'000'000'000}, "100000101000000Z"},
        {"onto_the_first_second", {earliest_second - 1, 1'000'000'000}, "00000101000000Z"},
        {"latest_int64_second", {INT64_MAX, 1'000'000'000}, "2922770265961204153008Z"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        const auto checked = quarvel::asn::validate(with<execution_record>(example_record(), [&](execution_record& e) {
            e.started = r.time;
        }));
        ASSERT_FALSE(checked);
        EXPECT_EQ(checked.error(), "GeneralizedTime: out of range: " + r.text);
    }
}

TEST(ValidateState, FaultsWithTheDecodersMessage) {
    const auto scheduled = [](timestamp next) {
        return state_item{state_item::Schedule{{next, quarvel::period::Daily, example_job}}};
    };
    using S = state;
    const fault<S> cases[] = {
        {"schedule_after_9999", with<S>(samples::scheduler_state(), [&](S& s) { s.push_back(scheduled({latest_second + 1, 0})); }),
         "GeneralizedTime: out of range: 100000101000000Z", encoding::confined},
        {"first_of_two_bad_schedules",
         S{scheduled({earliest_second - 86'400, 0}), scheduled({latest_second + 1, 0})},
         "GeneralizedTime: out of range: -00011231000000Z", encoding::confined},
        {"schedule_sub_second_part_of_a_whole_second", S{scheduled({0, 4'294'967'295})},
         "GeneralizedTime: out of range: 19700101000004.294Z", encoding::confined},
    };
    for (const auto& f : cases) expect_fault(f);
}

TEST(ValidateState, WhatReadsBackIsClean) {
    expect_clean("operator_sample", samples::scheduler_state());
    expect_clean("empty", state{});
    expect_clean("schedule_at_the_last_millisecond",
                 state{{state_item::Schedule{{{latest_second, 999'999'999}, quarvel::period::Never, example_job}}},
                       {state_item::Queue{"", {}}},
                       {state_item::Dropped_platform{"\xFF"}}});
}

TEST(ValidateCmd, FaultsWithTheDecodersMessage) {
    const auto finished = [](quarvel::execution_result r, quarvel::data d) {
        return cmd{cmd::Job_finished{example_uuid, std::move(r), std::move(d)}};
    };
    const auto output_at = [](std::uint64_t ns) { return cmd{cmd::Output_timestamped{example_uuid, {ns}, "o"}}; };
    const auto overview = [](quarvel::info i) { return cmd{cmd::Info_reply{std::move(i)}}; };
    const timestamp too_late{latest_second + 1, 0};
    const fault<cmd> cases[] = {
        {"finished_exit_code", finished(quarvel::Exited{pow2_62}, {}), "INTEGER: int overflow: 4000000000000000",
         encoding::stops_debug_build},
        {"finished_empty_path", finished(quarvel::Exited{0}, {{"ok", ""}, {"", ""}}), "\"\": invalid path",
         encoding::refused},
        {"finished_result_before_path", finished(quarvel::Signalled{INT64_MIN}, {{"", ""}}),
         "INTEGER: int overflow: 8000000000000000", encoding::several},
        {"duration_of_2_62", output_at(std::uint64_t{1} << 62), "INTEGER: int overflow: 4000000000000000",
         encoding::confined},
        {"duration_of_2_63", output_at(std::uint64_t{1} << 63), "INTEGER: int overflow: 8000000000000000",
         encoding::confined},
        {"duration_below_3_times_2_62", output_at((std::uint64_t{3} << 62) - 1),
         "INTEGER: int overflow: bfffffffffffffff", encoding::confined},
        {"overview_schedule", overview({{{too_late, quarvel::period::Hourly, example_job}}, {}, {}, {}}),
         "GeneralizedTime: out of range: 100000101000000Z", encoding::confined},
        {"overview_running",
         overview({{{t0, quarvel::period::Hourly, example_job}}, {}, {{{t0.seconds, 1'000'000'000}, example_uuid, example_job}}, {}}),
         "GeneralizedTime: out of range: 20240102030406Z", encoding::confined},
        {"overview_schedule_before_running",
         overview({{{too_late, quarvel::period::Hourly, example_job}}, {}, {{{earliest_second - 1, 0}, example_uuid, example_job}}, {}}),
         "GeneralizedTime: out of range: 100000101000000Z", encoding::several},
        {"reschedule_next", cmd{cmd::Reschedule{"a", {earliest_second - 1, 0}, std::nullopt}},
         "GeneralizedTime: out of range: -00011231235959Z", encoding::confined},
        {"hello_version", cmd{cmd::Client_hello{quarvel::client_or_worker::Worker, INT64_MIN}},
         "INTEGER: int overflow: 8000000000000000", encoding::stops_debug_build},
    };
    for (const auto& f : cases) expect_fault(f);
}

TEST(ValidateCmd, WhatReadsBackIsClean) {
    for (const cmd& c : samples::session_commands()) expect_clean("session_sample", c);
    const char* const boundaries = "boundaries";
    for (const std::uint64_t ns : {std::uint64_t{0}, (std::uint64_t{1} << 62) - 1, std::uint64_t{3} << 62, UINT64_MAX})
        expect_clean(boundaries, cmd{cmd::Output_timestamped{example_uuid, {ns}, "o"}});
    expect_clean(boundaries, cmd{cmd::Client_hello{quarvel::client_or_worker::Client, der::max_integer}});
    expect_clean(boundaries, cmd{cmd::Job_finished{example_uuid, quarvel::Exited{der::min_integer}, {{"//a", ""}}}});
    expect_clean(boundaries, cmd{cmd::Reschedule{"a", {earliest_second, 0}, quarvel::period::Never}});
    expect_clean(boundaries, cmd{cmd::Info_reply{{{{t0, quarvel::period::Weekly, quarvel::vesk_build_job{"v", "p"}}},
                                                  {{"p", {example_job}}},
                                                  {{{latest_second, 999'999'999}, example_uuid, example_job}},
                                                  {"x"}}}});
    // The alternatives with nothing to check.
    const cmd plain[] = {
        {cmd::Job_request{""}},        {cmd::Job_schedule{example_uuid, example_job}},
        {cmd::Output{example_uuid, ""}}, {cmd::Schedule{quarvel::period::Daily, example_job}},
        {cmd::Unschedule{"a"}},        {cmd::Info{}},
        {cmd::Observe{example_uuid}},  {cmd::Execute{"a", std::nullopt}},
        {cmd::Schedule_vesk_build{quarvel::period::Hourly, {"v", "p"}}},
        {cmd::Drop_platform{"p"}},     {cmd::Undrop_platform{"p"}},
        {cmd::Server_hello{}},         {cmd::Success{}},
        {cmd::Failure{"\xFF"}},
    };
    for (const cmd& c : plain) expect_clean("plain", c);
}

// An INTEGER's message is the decoder's own for the value's octets: the bytes an encoder that did not
// confine the value would write are refused with exactly the text `validate` gives.
TEST(Validate, IntegerMessageIsTheDecodersForTheValuesOwnOctets) {
    const auto eight_octets = [](std::uint64_t bits) {
        std::string out;
        for (int shift = 56; shift >= 0; shift -= 8) out += static_cast<char>(bits >> shift);
        return element(0x02, out);
    };
    const std::string uuid_element = utf8(std::string_view(reinterpret_cast<const char*>(example_uuid.octets.data()), 16));
    for (const std::int64_t version : {pow2_62, INT64_MAX, -pow2_62 - 1, INT64_MIN}) {
        SCOPED_TRACE(version);
        const std::string hello =
            tagged(14, sequence({tagged(0, hex("05 00")), eight_octets(static_cast<std::uint64_t>(version))}));
        const auto checked = quarvel::asn::validate(cmd{cmd::Client_hello{quarvel::client_or_worker::Client, version}});
        ASSERT_FALSE(checked);
        EXPECT_EQ(failure_of(quarvel::asn::cmd_of_str(hello)), checked.error());
    }
    for (const std::uint64_t ns : {std::uint64_t{1} << 62, std::uint64_t{1} << 63, (std::uint64_t{3} << 62) - 1}) {
        SCOPED_TRACE(ns);
        const std::string output = tagged(4, sequence({uuid_element, utf8("o"), eight_octets(ns)}));
        const auto checked = quarvel::asn::validate(cmd{cmd::Output_timestamped{example_uuid, {ns}, "o"}});
        ASSERT_FALSE(checked);
        EXPECT_EQ(failure_of(quarvel::asn::cmd_of_str(output)), checked.error());
    }
}

}  // namespace
