// A record cut short (a crash, a full disk, a killed copy): every decoder form keeps the reader's message,
// and the located ones name the innermost element that the end cuts, with its place in the grammar.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <quarvel/asn.hpp>

#include "asn_bytes.hpp"

namespace {

using namespace asn_bytes;

struct cut_case {
    std::string what;
    std::size_t kept;  // octets of the worked example kept
    std::size_t offset;
    std::string path;
};

// The worked example's elements: 0 [0], 2 SEQUENCE, 4 job (6 name, 9 script, 12 files, 14 platform),
// 17 uuid, 35 console (37 its line: 39 delta, 44 data), 48 timestamps (50 started, 67 finished),
// 84 result (86 its INTEGER), 89 output (91 its file: 93 path, 102 data).
const std::vector<cut_case> record_cuts{
    {"nothing at all", 0, 0, ""},
    {"inside the outermost header", 1, 0, "record"},
    {"right after the outermost header", 2, 0, "record"},
    {"inside the job's header", 5, 4, "record > job"},
    {"inside the job's name", 8, 6, "record > job > name"},
    {"inside the uuid", 20, 17, "record > uuid"},
    {"right where the console's lines begin", 37, 35, "record > console"},
    {"inside a console line's header", 38, 37, "record > console[0]"},
    {"inside a console line's text", 47, 44, "record > console[0] > data"},
    {"inside a time", 60, 50, "record > timestamps > started"},
    {"inside the result's integer header", 87, 86, "record > result"},
    {"inside the output list's header", 90, 89, "record > output"},
    {"inside an output file's path", 100, 93, "record > output[0] > path"},
    {"after an output file's contents' header", 104, 102, "record > output[0] > data"},
};

TEST(Cut, RecordDecodersNameTheInnermostElementCut) {
    const std::string whole = hex(example_record_hex);
    for (const cut_case& c : record_cuts) {
        SCOPED_TRACE(c.what);
        const std::string bytes = whole.substr(0, c.kept);
        const auto plain = quarvel::asn::exec_of_str(bytes);
        ASSERT_FALSE(plain);
        EXPECT_EQ(plain.error().rfind("Unexpected EOF (msg ", 0), 0u) << plain.error();
        const auto located = quarvel::asn::exec_of_str_located(bytes);
        const auto view = quarvel::asn::exec_view_of_str(bytes);
        ASSERT_FALSE(located);
        ASSERT_FALSE(view);
        EXPECT_EQ(located.error(), (quarvel::asn::decode_error{plain.error(), c.offset, c.path}));
        EXPECT_EQ(view.error(), located.error());
    }
}

TEST(Cut, StateAndCommandDecodersNameTheInnermostElementCut) {
    const quarvel::state state{
        {quarvel::state_item::Schedule{{t0, quarvel::period::Daily, example_job}}},
        {quarvel::state_item::Dropped_platform{"x"}},
    };
    const std::string state_bytes = quarvel::asn::state_to_str(state);
    // 31: the schedule's job's name, whose one octet of text is at 33.
    auto located = quarvel::asn::state_of_str_located(state_bytes.substr(0, 33));
    ASSERT_FALSE(located);
    EXPECT_EQ(located.error().offset, 31u);
    EXPECT_EQ(located.error().path, "state[0] > job > name");
    EXPECT_EQ(located.error().message, quarvel::asn::state_of_str(state_bytes.substr(0, 33)).error());

    // The client's hello, cut before its version's octet.
    const std::string hello = hex("AE 09 30 07 A0 02 05 00 02 01 0D");
    auto command = quarvel::asn::cmd_of_str_located(hello.substr(0, 10));
    ASSERT_FALSE(command);
    EXPECT_EQ(command.error().offset, 8u);
    EXPECT_EQ(command.error().path, "command > version");
}

TEST(Cut, FaultsThatAreNoCutKeepTheirPlace) {
    members m;
    m.job = hex("05 00");  // no job: the grammar refuses it before the end
    const std::string refused_first = m.record();
    // The uuid of the record without a job starts at 6: cut inside it.
    const auto before = quarvel::asn::exec_of_str_located(refused_first.substr(0, 10));
    ASSERT_FALSE(before);
    EXPECT_EQ(before.error().offset, 6u);
    EXPECT_EQ(before.error().path, "");

    // Contents past their parent, the input whole: the reader's place, no path.
    const auto past = quarvel::asn::exec_of_str_located(hex("A0 03 30 05 00"));
    ASSERT_FALSE(past);
    EXPECT_EQ(past.error().offset, 2u);
    EXPECT_EQ(past.error().path, "");

    // Trailing bytes stay where they begin.
    const auto trailing = quarvel::asn::exec_of_str_located(hex(example_record_hex) + hex("00"));
    ASSERT_FALSE(trailing);
    EXPECT_EQ(trailing.error(), (quarvel::asn::decode_error{"trailing bytes", 105, ""}));
}

}  // namespace
