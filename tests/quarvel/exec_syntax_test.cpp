// The member grammars of the record, each met through a record that differs from the worked example in
// that one member: the script job (its platform, its files), the uuid, the time forms and every result.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include <quarvel/asn.hpp>

#include "asn_bytes.hpp"

namespace {

using namespace asn_bytes;
using quarvel::asn::exec_of_str;
using quarvel::asn::exec_to_str;

TEST(ExecSyntax, MissingPlatformReadsAsNoPlatformAndIsWritten) {
    members m;
    m.job = sequence({utf8("a"), utf8("s"), hex("30 00")});
    const auto decoded = exec_of_str(m.record());
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(decoded->job, (quarvel::script_job{"a", "no-platform", "s"}));
    EXPECT_NE(exec_to_str(*decoded).find(hex("0C 0B") + "no-platform"), std::string::npos);
}

TEST(ExecSyntax, FilesAreCheckedThenDropped) {
    members m;
    m.job = sequence({utf8("a"), utf8("s"), sequence({sequence({utf8("f//g"), utf8("y")}), sequence({utf8("/h"), utf8("")})}),
                      utf8("p")});
    const auto decoded = exec_of_str(m.record());
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(*decoded, example_record());
    EXPECT_EQ(exec_to_str(*decoded), hex(example_record_hex));

    m.job = sequence({utf8("a"), utf8("s"), sequence({sequence({utf8("ok"), utf8("y")}), sequence({utf8(""), utf8("y")})}),
                      utf8("p")});
    const auto refused = exec_of_str(m.record());
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), "\"\": invalid path");
}

TEST(ExecSyntax, UuidTakesTheFirstSixteenOctets) {
    members m;
    m.uuid = utf8(hex("00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE"));
    const auto short_uuid = exec_of_str(m.record());
    ASSERT_FALSE(short_uuid);
    EXPECT_EQ(short_uuid.error(), "couldn't decode UUID");

    m.uuid = utf8("");
    EXPECT_EQ(failure_of(exec_of_str(m.record())), "couldn't decode UUID");

    m.uuid = utf8(hex("00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF 42"));
    const auto long_uuid = exec_of_str(m.record());
    ASSERT_TRUE(long_uuid) << long_uuid.error();
    EXPECT_EQ(long_uuid->uuid, example_uuid);
    EXPECT_EQ(exec_to_str(*long_uuid), hex(example_record_hex));
}

TEST(ExecSyntax, UtcTimeIsReadAndRewrittenAsGeneralizedTime) {
    members m;
    m.started = element(0x17, "240102030405Z");
    m.finished = element(0x17, "2401020304Z");  // no seconds: 03:04:00
    const auto decoded = exec_of_str(m.record());
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(decoded->started, t0);
    EXPECT_EQ(decoded->finished, (quarvel::timestamp{t0.seconds - 5, 0}));
    EXPECT_NE(exec_to_str(*decoded).find(element(0x18, "20240102030400Z")), std::string::npos);

    m.started = utf8("20240102030405Z");
    EXPECT_EQ(failure_of(exec_of_str(m.record())),
              "Type mismatch: expected: (ANY UNIVERSAL 24) got: (Primitive UNIVERSAL 12)");
}

TEST(ExecSyntax, EmptyListsAndEveryResult) {
    struct Case {
        quarvel::execution_result result;
        std::string_view octets;
    };
    const Case cases[] = {
        {quarvel::Exited{0}, "A0 03 02 01 00"},
        {quarvel::Signalled{9}, "A1 03 02 01 09"},
        {quarvel::Stopped{-1}, "A2 03 02 01 FF"},
        {quarvel::Msg{"no"}, "A3 04 0C 02 6E 6F"},
    };
    for (const auto& c : cases) {
        members m;
        m.console = hex("30 00");
        m.output = hex("30 00");
        m.result = hex(c.octets);
        const quarvel::execution_record record{example_job, example_uuid, {}, t0, {t0.seconds + 1, 0}, c.result, {}};
        EXPECT_EQ(exec_to_str(record), m.record()) << c.octets;
        const auto decoded = exec_of_str(m.record());
        ASSERT_TRUE(decoded) << decoded.error();
        EXPECT_EQ(*decoded, record);
    }
}

}  // namespace
