// Where a decode failed: the offset of the element at fault and its place in the grammar, beside the
// decoder's own message, which stays exactly the one the plain decoders give.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include <quarvel/asn.hpp>

#include "asn_bytes.hpp"

namespace {

using namespace asn_bytes;
using quarvel::asn::decode_error;

// A fault, and where it lies: the offset is that of `at`, the first place it occurs in the input.
struct located_case {
    std::string what;
    std::string input;
    std::string at;
    std::string path;
    std::string message;
};

std::string replace(std::string text, std::string_view from, std::string_view to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}

void expect_located(const located_case& c, const quarvel::result<void>& plain,
                    const quarvel::asn::located_result<void>& located) {
    SCOPED_TRACE(c.what);
    ASSERT_FALSE(plain);
    ASSERT_FALSE(located);
    EXPECT_EQ(located.error().message, plain.error());
    EXPECT_EQ(plain.error().substr(0, c.message.size()), c.message);
    EXPECT_EQ(located.error().offset, c.input.find(c.at));
    EXPECT_EQ(located.error().path, c.path);
}

template <class T>
quarvel::result<void> dropped(quarvel::result<T> r) {
    if (!r) return std::unexpected(std::move(r.error()));
    return {};
}
template <class T>
quarvel::asn::located_result<void> dropped(quarvel::asn::located_result<T> r) {
    if (!r) return std::unexpected(std::move(r.error()));
    return {};
}

TEST(DecodeError, RecordFaultsAreLocated) {
    const members ok;
    const auto with = [](auto change) {
        members m;
        change(m);
        return m.record();
    };
    const std::string short_uuid = utf8("0123");
    const std::string not_a_job = hex("05 00");
    const std::string nameless_job = sequence({});
    const std::string bad_line = sequence({hex("02 01 09"), hex("02 01 07")});
    const std::string console = sequence({sequence({hex("02 01 05"), utf8("hi")}), bad_line});
    const std::string bad_time = replace(ok.finished, "20240102", "20241302");
    const std::string text_result = tagged(0, utf8("x"));
    const std::string nameless_file = sequence({utf8(""), utf8("x")});
    const std::string output = sequence({sequence({utf8("a"), utf8("x")}), nameless_file});
    const std::vector<located_case> cases{
        {"a uuid too short", with([&](members& m) { m.uuid = short_uuid; }), short_uuid, "record > uuid",
         "couldn't decode UUID"},
        {"a job of the wrong type", with([&](members& m) { m.job = not_a_job; }), not_a_job, "record > job",
         "Type mismatch: expected: (Constructed UNIVERSAL 16) got: (Primitive UNIVERSAL 5)"},
        {"a job without its name", with([&](members& m) { m.job = nameless_job; }), nameless_job,
         "record > job > name", "SEQUENCE: missing required: name"},
        {"the second console line's text", with([&](members& m) { m.console = console; }), hex("02 01 07"),
         "record > console[1] > data", "Type mismatch: expected: (ANY UNIVERSAL 12) got: (Primitive UNIVERSAL 2)"},
        {"a time out of range", with([&](members& m) { m.finished = bad_time; }), bad_time,
         "record > timestamps > finished", "GeneralizedTime: out of range: 20241302030406Z"},
        {"a result holding text", with([&](members& m) { m.result = text_result; }), utf8("x"), "record > result",
         "Type mismatch: expected: (Primitive UNIVERSAL 2) got: (Primitive UNIVERSAL 12)"},
        {"an output file without a path", with([&](members& m) { m.output = output; }), nameless_file,
         "record > output[1]", "\"\": invalid path"},
        {"no record at all", hex("05 00"), hex("05 00"), "record", "Type mismatch"},
        {"trailing bytes", ok.record() + hex("FF EE"), hex("FF EE"), "", "trailing bytes"},
        {"contents past the end", hex("A0 03 30 05 00"), hex("30 05"), "", "Unexpected EOF (msg String.sub / Bytes.sub): "},
    };
    for (const located_case& c : cases) {
        expect_located(c, dropped(quarvel::asn::exec_of_str(c.input)),
                       dropped(quarvel::asn::exec_of_str_located(c.input)));
    }
    // The worked example's uuid lies at offset 17, as the message for an operator says it.
    const std::string bytes = with([&](members& m) { m.uuid = short_uuid; });
    const auto located = quarvel::asn::exec_of_str_located(bytes);
    ASSERT_FALSE(located);
    EXPECT_EQ(quarvel::asn::where(located.error()), "at offset 17 (record > uuid)");
}

TEST(DecodeError, StateAndCommandFaultsAreLocated) {
    const quarvel::state state{
        {quarvel::state_item::Dropped_platform{"p"}},
        {quarvel::state_item::Schedule{{t0, quarvel::period::Daily, example_job}}},
    };
    const std::string state_bytes = quarvel::asn::state_to_str(state);
    const std::string next = "20240102030405Z";
    const std::string bad_next = "20240132030405Z";
    const located_case state_case{"a schedule item's time", replace(state_bytes, next, bad_next), bad_next,
                                  "state[1] > next", "GeneralizedTime: out of range: 20240132030405Z"};
    // The offset is that of the time's header, two octets before its text.
    located_case header_first = state_case;
    header_first.at = hex("18 0F") + bad_next;
    expect_located(header_first, dropped(quarvel::asn::state_of_str(state_case.input)),
                   dropped(quarvel::asn::state_of_str_located(state_case.input)));

    const quarvel::cmd schedule{quarvel::cmd::Job_schedule{example_uuid, example_job}};
    const std::string cmd_bytes = quarvel::asn::cmd_to_str(schedule);
    const std::string uuid = utf8(std::string_view(reinterpret_cast<const char*>(example_uuid.octets.data()), 16));
    std::string integer_uuid = uuid;
    integer_uuid[0] = 0x02;
    const located_case cmd_case{"a uuid of the wrong type", replace(cmd_bytes, uuid, integer_uuid), integer_uuid,
                                "command > uuid", "Type mismatch: expected: (ANY UNIVERSAL 12) got: (Primitive UNIVERSAL 2)"};
    expect_located(cmd_case, dropped(quarvel::asn::cmd_of_str(cmd_case.input)),
                   dropped(quarvel::asn::cmd_of_str_located(cmd_case.input)));
}

TEST(DecodeError, WhereNamesTheOffsetAndThePath) {
    EXPECT_EQ(quarvel::asn::where(decode_error{"m", 17, "record > uuid"}), "at offset 17 (record > uuid)");
    EXPECT_EQ(quarvel::asn::where(decode_error{"m", 0, ""}), "at offset 0");
}

TEST(DecodeError, EqualWhenMessageOffsetAndPathAre) {
    const decode_error base{"trailing bytes", 17, "record > uuid"};
    struct row {
        const char* what;
        decode_error other;
        bool equal;
    };
    const row rows[] = {
        {"the same", {"trailing bytes", 17, "record > uuid"}, true},
        {"another message", {"trailing byte", 17, "record > uuid"}, false},
        {"another offset", {"trailing bytes", 18, "record > uuid"}, false},
        {"another path", {"trailing bytes", 17, "record"}, false},
        {"no path", {"trailing bytes", 17, ""}, false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(base == r.other, r.equal);
        EXPECT_EQ(r.other == base, r.equal);
        EXPECT_EQ(base != r.other, !r.equal);
    }
    // A failed located decode compares as a value, as a test of a service would compare it.
    const auto located = quarvel::asn::cmd_of_str_located(hex("30 00 00"));
    ASSERT_FALSE(located);
    EXPECT_EQ(located, quarvel::asn::cmd_of_str_located(hex("30 00 00")));
}

TEST(DecodeError, ValuesThatDecodeAreTheSameEitherWay) {
    const std::string bytes = hex(example_record_hex);
    const auto located = quarvel::asn::exec_of_str_located(bytes);
    ASSERT_TRUE(located) << located.error().message;
    EXPECT_EQ(*located, example_record());
}

}  // namespace
