// A record cut short, in quarvel-dump: the decoder's message in a few lines whatever the size of the input
// (its octet dump cut to the first 64 octets and the total), then where the cut falls.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace
