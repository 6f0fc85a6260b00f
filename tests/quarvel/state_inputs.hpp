#pragma once
// States that a reader item by item must read as the whole decoder reads them: sound ones of every shape
// (empty, one item of each alternative, the old and retired forms, long lists and long texts, texts a
// terminal would act on, lengths of several octets), and refused ones at every place (before any item, at
// the first, a middle or the last item, after the items), retired items before the fault among them.

#include <string>
#include <vector>

#include <quarvel/asn.hpp>
#include <quarvel/model.hpp>

#include "asn_bytes.hpp"

namespace state_inputs {

using namespace asn_bytes;
using quarvel::state;
using quarvel::state_item;

struct named_state {
    std::string name;
    std::string octets;
};

// The items as they are written.
inline std::string dropped(std::string_view platform) { return tagged(5, utf8(platform)); }
// 2024-01-02T03:04:05Z, daily, script job a, s, p.
inline const std::string schedule_a =
    hex("A3 26 30 24 18 0F 32 30 32 34 30 31 30 32 30 33 30 34 30 35 5A A1 02 05 00 A0 0D 30 0B 0C 01 61 0C 01 73 30 00 "
        "0C 01 70");
// The same in the old form: a UTCTime and the bare script job.
inline const std::string old_schedule_a =
    hex("A1 22 30 20 17 0D 32 34 30 31 30 32 30 33 30 34 30 35 5A A1 02 05 00 30 0B 0C 01 61 0C 01 73 30 00 0C 01 70");
// The retired forms: a script job a, s, p ([0]) and a job holding it ([2]).
inline const std::string retired_script_job = hex("A0 0D 30 0B 0C 01 61 0C 01 73 30 00 0C 01 70");
inline const std::string retired_job = hex("A2 0F A0 0D 30 0B 0C 01 61 0C 01 73 30 00 0C 01 70");

inline std::string state_of_items(std::initializer_list<std::string_view> items) { return element(0x30, concat(items)); }

// A state of the library's encoder.
inline std::string encoded(const state& s) { return quarvel::asn::state_to_str(s); }

inline std::vector<named_state> sound_states() {
    using quarvel::period;
    const quarvel::timestamp t{1'714'564'800, 250'000'000};  // 2024-05-01T12:00:00.250Z
    // Long names, so that the text form's list passes the margin at different places, and a word longer
    // than a line.
    state long_lines;
    for (int i = 0; i < 40; ++i)
        long_lines.push_back({state_item::Dropped_platform{std::string(static_cast<std::size_t>(i % 13 + 1), 'p') +
                                                           std::to_string(i)}});
    long_lines.push_back({state_item::Dropped_platform{std::string(100, 'w')}});
    long_lines.push_back({state_item::Queue{"q", {quarvel::script_job{std::string(70, 'n'), "s", "p"},
                                                  quarvel::vesk_build_job{"v", std::string(60, 'o')}}}});
    long_lines.push_back({state_item::Dropped_platform{"after"}});
    // Texts a terminal would act on, and bytes that are no UTF-8.
    const std::string hostile = "\x1b]0;title\x07\x1b[2J\r\nline\xc2\x85\xe2\x80\xae\xe2\x80\xa8\x7f\xff\"\\";
    const state escaped{{state_item::Queue{hostile, {quarvel::script_job{hostile, "s", hostile},
                                                     quarvel::vesk_build_job{hostile, hostile}}}},
                        {state_item::Schedule{{t, period::Weekly, quarvel::script_job{hostile, "s", hostile}}}},
                        {state_item::Dropped_platform{hostile}}};
    // Lengths of two and three octets.
    state many;
    for (int i = 0; i < 3'000; ++i) {
        if (i % 3 == 0) many.push_back({state_item::Dropped_platform{"platform-" + std::to_string(i)}});
        if (i % 3 == 1)
            many.push_back({state_item::Schedule{{{t.seconds + i, 0}, static_cast<period>(i % 4),
                                                  quarvel::vesk_build_job{"v" + std::to_string(i), "o"}}}});
        if (i % 3 == 2) many.push_back({state_item::Queue{"p" + std::to_string(i), {quarvel::script_job{"j", "s", "p"}}}});
    }
    return {
        {"empty", hex("30 00")},
        {"one dropped platform", state_of_items({dropped("x")})},
        {"a schedule item and a dropped platform", state_of_items({schedule_a, dropped("x")})},
        {"one schedule item of a vesk build job",
         encoded({{state_item::Schedule{{t, period::Never, quarvel::vesk_build_job{"v", "o"}}}}})},
        {"a queue without jobs", hex("30 0A A4 08 30 06 0C 02 70 31 30 00")},
        {"a queue of three jobs",
         encoded({{state_item::Queue{"freebsd-14", {quarvel::script_job{"a", "s", "freebsd-14"},
                                                    quarvel::vesk_build_job{"b", "b"}, quarvel::script_job{"c", "s", "x"}}}}})},
        {"an old schedule item", state_of_items({old_schedule_a})},
        {"a script job without platform and with files",
         state_of_items({tagged(3, sequence({hex("18 0F 32 30 32 34 30 31 30 32 30 33 30 34 30 35 5A"), hex("A3 02 05 00"),
                                              tagged(0, sequence({utf8("a"), utf8("s"),
                                                                  sequence({sequence({utf8("f"), utf8("contents")})})}))}))})},
        {"retired items around a dropped platform", state_of_items({retired_job, dropped("x"), retired_script_job})},
        {"only retired items", state_of_items({retired_script_job, retired_job, retired_script_job})},
        {"retired items first and last",
         state_of_items({retired_script_job, schedule_a, old_schedule_a, dropped("y"), retired_job})},
        {"long lines", encoded(long_lines)},
        {"texts to escape", encoded(escaped)},
        {"3000 items", encoded(many)},
    };
}

inline std::vector<named_state> refused_states() {
    const std::string bad_time =  // an old schedule item whose "next" is a GeneralizedTime
        hex("A1 24 30 22 18 0F 32 30 32 34 30 31 30 32 30 33 30 34 30 35 5A A1 02 05 00 30 0B 0C 01 61 0C 01 73 30 00 "
            "0C 01 70");
    const std::string not_text = tagged(5, hex("02 01 00"));       // a dropped platform that is an INTEGER
    const std::string no_such_item = tagged(6, utf8("x"));         // no item [6]
    const std::string redundant_length = hex("A5 04 0C 81 01 78");  // a length in the long form, below 128
    const std::string empty_path =  // a script job whose output file has an empty path
        tagged(3, sequence({hex("18 0F 32 30 32 34 30 31 30 32 30 33 30 34 30 35 5A"), hex("A1 02 05 00"),
                            tagged(0, sequence({utf8("a"), utf8("s"), sequence({sequence({utf8(""), utf8("c")})}),
                                                utf8("p")}))}));
    return {
        {"nothing", ""},
        {"a SET", hex("31 03 A5 01 0C")},
        {"a primitive", hex("04 00")},
        {"cut short", hex("30 05 A5 03 0C 01")},
        {"the first item refused", state_of_items({no_such_item, dropped("x"), dropped("y")})},
        {"a middle item refused after retired ones",
         state_of_items({dropped("x"), retired_job, bad_time, retired_script_job, dropped("y")})},
        {"the last item refused after retired ones", state_of_items({retired_script_job, dropped("x"), not_text})},
        {"an empty path", state_of_items({retired_job, empty_path})},
        {"a header fault after a refused item, retired ones first",
         state_of_items({retired_job, no_such_item, dropped("x"), redundant_length})},
        {"trailing bytes after retired ones", state_of_items({retired_script_job, dropped("x")}) + hex("00")},
        {"trailing bytes after a refused item", state_of_items({retired_job, not_text}) + hex("05 00")},
        {"a fault deep in the last of 3000 items",
         [] {
             std::string items;
             for (int i = 0; i < 2'999; ++i) items += dropped("platform-" + std::to_string(i));
             return element(0x30, items + old_schedule_a.substr(0, 4) + hex("18") + old_schedule_a.substr(5));
         }()},
    };
}

}  // namespace state_inputs
