// A record cut short, in quarvel-dump: the decoder's message in a few lines whatever the size of the input
// (its octet dump cut to the first 64 octets and the total), then where the cut falls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <der/dump.hpp>
#include <quarvel/asn.hpp>

#include "cli/eval.hpp"
#include "dump/fixtures.hpp"
#include "quarvel/asn_bytes.hpp"
#include "support/process.hpp"

namespace {

using namespace asn_bytes;
using dump_test::frame;

const std::string tool = QUARVEL_DUMP_BINARY;

std::string said(const std::string& message) { return cli::message_line("quarvel-dump", message) + "\n"; }

const std::string eof = "Unexpected EOF (msg String.sub / Bytes.sub): ";

// A record of 2,000 console lines of 40 octets: 5 octets of header for the record, its SEQUENCE and the
// console list each; the job 13 and the uuid 18; each line 49 octets, its text's header 7 octets in.
std::string long_record() {
    quarvel::execution_record r = example_record();
    r.console.assign(2000, quarvel::console_line{5'000'000, std::string(40, 'x')});
    return quarvel::asn::exec_to_str(r);
}
constexpr std::size_t first_line = 5 + 5 + 13 + 18 + 5;
constexpr std::size_t line_size = 49;

TEST(Cut, ExecSaysTheShortMessageAndWhereTheCutFalls) {
    test::temp_dir dir;
    const std::string whole = hex(example_record_hex);
    // Within 64 octets the dump is whole.
    const std::string short_cut = whole.substr(0, 47);
    auto r = test::run({tool, "exec", dir.file("short.der", short_cut)});
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, said(quarvel::asn::exec_of_str(short_cut).error() + " at offset 44 (record > console[0] > data)"));

    // A long one: its first 64 octets, then the total.
    const std::string record = long_record();
    const std::size_t text_at = first_line + 1000 * line_size + 7;
    const std::string long_cut = record.substr(0, text_at + 9 + 5);
    r = test::run({tool, "exec", dir.file("long.der", long_cut)});
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.err, said(eof + quarvel::der::octet_dump(long_cut.substr(0, 64), eof.size()) + " ... (" +
                          std::to_string(long_cut.size()) + " octets) at offset " + std::to_string(text_at) +
                          " (record > console[1000] > data)"));
    // The message stays a few lines long.
    EXPECT_LT(r.err.size(), 400u);
}

TEST(Cut, StatesCommandsAndFramesSayWhereTheCutFalls) {
    test::temp_dir dir;
    const std::string hello = hex("AE 09 30 07 A0 02 05 00 02 01");
    auto r = test::run({tool, "cmd", dir.file("cmd.der", hello)});
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.err, said(eof + "ae093007a0020500 0201 at offset 8 (command > version)"));

    // In a capture, the offset counts from the start of the file: the payload follows 8 octets of prefix.
    r = test::run({tool, "--framed", "cmd", dir.file("capture", frame(hello))});
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.err, said("frame 1 at offset 0: " + eof + "ae093007a0020500 0201 at offset 16 (command > version)"));

    const std::string state = hex("30 05 A5 03 0C 01");
    r = test::run({tool, "state", dir.file("state.der", state)});
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.err, said(eof + "3005a5030c01 at offset 4 (state[0])"));
}

#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's shadow and quarantine would dominate the figure
// A record of 32 MiB cut by its last octet: every form of the tool stays within 1.2 times the input and
// 64 MiB, whatever it tries on the way (the place of the cut, other kinds, the salvage).
TEST(Cut, MemoryOfALargeCutRecordStaysInProportion) {
    quarvel::execution_record r = example_record();
    for (int i = 0; i < 8; ++i) r.output.push_back({"f" + std::to_string(i), std::string(4 << 20, 'y')});
    for (int i = 0; i < 100'000; ++i) r.console.push_back({i, std::string(40, 'x')});
    std::string bytes = quarvel::asn::exec_to_str(r);
    bytes.pop_back();
    test::temp_dir dir;
    const auto file = dir.file("cut.der", bytes);
    const long input_kib = static_cast<long>(bytes.size() / 1024);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"exec", file},
                                                 {"cmd", file},
                                                 {"--json", "exec", file},
                                                 {"--salvage", "exec", file},
                                                 {"der", file}}) {
        std::vector<std::string> argv{tool};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto run = test::run(argv);
        EXPECT_EQ(run.status, 124);
        EXPECT_LT(run.err.size(), 1000u);
        EXPECT_LT(run.max_rss_kib, input_kib * 6 / 5 + 64 * 1024) << testing::PrintToString(args);
    }
}
#endif

// A file of another kind, or a capture read without --framed: the refusal says what it reads as.
TEST(Cut, AFileOfAnotherKindIsNamed) {
    test::temp_dir dir;
    const std::string state = hex("30 05 A5 03 0C 01 78");
    const std::string capture = frame(hex("AE 09 30 07 A0 02 05 00 02 01 0D")) + frame(hex("B2 02 05 00"));
    const auto refusal = [](const auto& located) {
        return located.error().message + " " + quarvel::asn::where(located.error());
    };
    const struct {
        std::string kind, name, bytes, message, hint;
    } cases[]{
        {"exec", "x.state", state, refusal(quarvel::asn::exec_of_str_located(state)),
         " (it reads as a scheduler state: quarvel-dump state x.state)"},
        {"cmd", "x.state", state, refusal(quarvel::asn::cmd_of_str_located(state)),
         " (it reads as a scheduler state: quarvel-dump state x.state)"},
        {"cmd", "capture", capture, refusal(quarvel::asn::cmd_of_str_located(capture)),
         " (it reads as a framed capture: quarvel-dump --framed cmd capture)"},
        {"exec", "capture", capture, refusal(quarvel::asn::exec_of_str_located(capture)),
         " (it reads as a framed capture: quarvel-dump --framed cmd capture)"},
        // Nothing else either: no hint.
        {"cmd", "junk", hex("05 00"), refusal(quarvel::asn::cmd_of_str_located(hex("05 00"))), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind + " " + c.name);
        dir.file(c.name, c.bytes);
        test::run_options in_dir;
        in_dir.cwd = dir.path;
        const auto r = test::run({tool, c.kind, c.name}, in_dir);
        EXPECT_EQ(r.status, 124);
        EXPECT_EQ(r.err, said(c.message + c.hint));
    }
}

// The structure of a cut input: every element whose header lies before the end, each one cut marked with
// what is there, then the error line at the innermost one; JSON alike.
TEST(Cut, DerListsTheStructureUpToTheEnd) {
    test::temp_dir dir;
    const std::string whole = hex(example_record_hex);
    const std::string cut = whole.substr(0, 47);
    const auto listed_whole = test::run({tool, "der", dir.file("whole.der", whole)});
    ASSERT_EQ(listed_whole.status, 0);
    // The job and the uuid are whole: their lines are those of the whole record.
    const std::size_t job_at = listed_whole.out.find("4:     UNIVERSAL 16");
    const std::string job_and_uuid = listed_whole.out.substr(job_at, listed_whole.out.find("35:") - job_at);
    // The reader's message, its dump on one line.
    const auto refused = quarvel::asn::exec_of_str(cut);
    ASSERT_FALSE(refused);
    const std::string whole_message = refused.error();
    std::string message;
    for (const char c : whole_message)
        if (c != '\n' && !(c == ' ' && !message.empty() && message.back() == ' ')) message += c;
        else if (c == '\n') message += ' ';
    auto r = test::run({tool, "der", dir.file("cut.der", cut)});
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.out, "0: CONTEXT 0 Constructed, header 2, length 103, cut: 45 of 103 octets\n"
                     "2:   UNIVERSAL 16 Constructed, header 2, length 101, cut: 43 of 101 octets\n" +
                         job_and_uuid +
                         "35:     UNIVERSAL 16 Constructed, header 2, length 11, cut: 10 of 11 octets\n"
                         "37:       UNIVERSAL 16 Constructed, header 2, length 9, cut: 8 of 9 octets\n"
                         "39:         UNIVERSAL 2 Primitive, header 2, length 3: 5000000\n"
                         "44:         UNIVERSAL 12 Primitive, header 2, length 2, cut: 1 of 2 octets: \"h\"\n"
                         "44: error: " + message + "\n");
    EXPECT_EQ(r.err, said("at offset 44: " + message));

    r = test::run({tool, "--json", "der", dir.file("cut.der", cut)});
    EXPECT_EQ(r.status, 124);
    const std::string last_lines =
        R"({"offset":44,"depth":4,"tag":"UNIVERSAL 12","form":"primitive","header":2,"length":2,"cut":1,"preview":"\"h\""})" "\n"
        R"({"offset":44,"error":")";
    EXPECT_EQ(r.out.rfind(R"({"offset":0,"depth":0,"tag":"CONTEXT 0","form":"constructed","header":2,"length":103,"cut":45})", 0), 0u);
    EXPECT_NE(r.out.find(last_lines), std::string::npos) << r.out;
    dump_test::expect_json_lines(r.out);
}

}  // namespace
