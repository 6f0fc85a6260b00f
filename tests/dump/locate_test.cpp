// Finding where input goes wrong, from outside: `quarvel-dump der` lists any DER input up to its fault,
// and the decoders' messages of exec, state and cmd say where their fault lies.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <quarvel/asn.hpp>
#include <quarvel/framing.hpp>

#include "cli/eval.hpp"
#include "quarvel/asn_bytes.hpp"
#include "dump/fixtures.hpp"
#include "support/process.hpp"

namespace {

using dump_test::frame;

using namespace asn_bytes;

const std::string tool = QUARVEL_DUMP_BINARY;

std::string replace_first(std::string text, std::string_view from, std::string_view to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}

std::string said(const std::string& message) { return cli::message_line("quarvel-dump", message) + "\n"; }

// The worked example record, element by element, as the listing shows it.
const std::string example_listing =
    "0: CONTEXT 0 Constructed, header 2, length 103\n"
    "2:   UNIVERSAL 16 Constructed, header 2, length 101\n"
    "4:     UNIVERSAL 16 Constructed, header 2, length 11\n"
    "6:       UNIVERSAL 12 Primitive, header 2, length 1: \"a\"\n"
    "9:       UNIVERSAL 12 Primitive, header 2, length 1: \"s\"\n"
    "12:       UNIVERSAL 16 Constructed, header 2, length 0\n"
    "14:       UNIVERSAL 12 Primitive, header 2, length 1: \"p\"\n"
    "17:     UNIVERSAL 12 Primitive, header 2, length 16: \"\\x00\\x11\\\"3DUfw\\x88\\x99\\xaa\\xbb\\xcc\\xdd\\xee\\xff\"\n"
    "35:     UNIVERSAL 16 Constructed, header 2, length 11\n"
    "37:       UNIVERSAL 16 Constructed, header 2, length 9\n"
    "39:         UNIVERSAL 2 Primitive, header 2, length 3: 5000000\n"
    "44:         UNIVERSAL 12 Primitive, header 2, length 2: \"hi\"\n"
    "48:     UNIVERSAL 16 Constructed, header 2, length 34\n"
    "50:       UNIVERSAL 24 Primitive, header 2, length 15: \"20240102030405Z\"\n"
    "67:       UNIVERSAL 24 Primitive, header 2, length 15: \"20240102030406Z\"\n"
    "84:     CONTEXT 0 Constructed, header 2, length 3\n"
    "86:       UNIVERSAL 2 Primitive, header 2, length 1: 0\n"
    "89:     UNIVERSAL 16 Constructed, header 2, length 14\n"
    "91:       UNIVERSAL 16 Constructed, header 2, length 12\n"
    "93:         UNIVERSAL 12 Primitive, header 2, length 7: \"out.txt\"\n"
    "102:         UNIVERSAL 12 Primitive, header 2, length 1: \"x\"\n";

TEST(Locate, DerListsEveryElementOfAValidInput) {
    test::temp_dir dir;
    const auto file = dir.file("rec.der", hex(example_record_hex));
    const auto r = test::run({tool, "der", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, example_listing);
    EXPECT_EQ(r.err, "");
}

// A fault ends the listing after every element before it, on standard output and on standard error.
TEST(Locate, DerEndsWithTheFaultAndItsOffset) {
    test::temp_dir dir;
    const std::string listed = "0: UNIVERSAL 16 Constructed, header 2, length 8\n"
                               "2:   UNIVERSAL 2 Primitive, header 2, length 1: 5\n";
    const struct {
        std::string what, octets, error;
    } cases[]{
        {"redundant form", "30 08 02 01 05 0C 81 05 00 00", "5: error: Header: at 0201050c81050000: redundant form"},
        {"contents past the parent", "30 08 02 01 05 0C 04 61 62 63",
         "5: error: Unexpected EOF (msg String.sub / Bytes.sub): 30080201050c0461 6263"},
        {"trailing octets", "30 08 02 01 05 0C 03 61 62 63 00", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto r = test::run({tool, "der", dir.file("bad.der", hex(c.octets))});
        EXPECT_EQ(r.status, 124);
        if (c.error.empty()) {
            EXPECT_EQ(r.out, listed + "5:   UNIVERSAL 12 Primitive, header 2, length 3: \"abc\"\n10: error: trailing bytes\n");
            EXPECT_EQ(r.err, said("at offset 10: trailing bytes"));
        } else {
            EXPECT_EQ(r.out, listed + c.error + "\n");
            EXPECT_EQ(r.err, said("at offset " + c.error.substr(0, 1) + c.error.substr(8)));
        }
    }
}

// JSON Lines, each frame's elements after its line with offsets from the start of the capture, and the
// file's name with several FILEs.
TEST(Locate, DerAsJsonFramedAndForSeveralFiles) {
    test::temp_dir dir;
    const auto one = dir.file("one.der", hex("30 03 02 01 05"));
    const auto capture = dir.file("capture", frame(hex("B2 02 05 00")) + frame(hex("05 00")));
    auto r = test::run({tool, "--json", "der", one});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              R"({"offset":0,"depth":0,"tag":"UNIVERSAL 16","form":"constructed","header":2,"length":3})" "\n"
              R"({"offset":2,"depth":1,"tag":"UNIVERSAL 2","form":"primitive","header":2,"length":1,"preview":"5"})" "\n");
    r = test::run({tool, "--framed", "der", capture});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "frame 1 at offset 0\n8: CONTEXT 18 Constructed, header 2, length 2\n"
              "10:   UNIVERSAL 5 Primitive, header 2, length 0\n"
              "frame 2 at offset 12\n20: UNIVERSAL 5 Primitive, header 2, length 0\n");
    const auto two = dir.file("two.der", hex("05 00"));
    r = test::run({tool, "--json", "der", one, two});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
              R"({"file":")" + one + R"(","offset":0,"depth":0,"tag":"UNIVERSAL 16","form":"constructed","header":2,"length":3})");
    r = test::run({tool, "--reencode", "der", one});
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.err, said("option '--reencode' cannot be used with KIND 'der'"));
}

// Each member of a record, a state item and a command: the decoder's message, then the offset of the
// element at fault and its path in the grammar.
TEST(Locate, DecodeErrorsSayWhere) {
    const auto with = [](auto change) {
        members m;
        change(m);
        return m.record();
    };
    const std::string bad_time = replace_first(members{}.finished, "20240102", "20241302");
    const struct {
        std::string kind, bytes, message;
    } cases[]{
        {"exec", with([](members& m) { m.job = hex("05 00"); }),
         "Type mismatch: expected: (Constructed UNIVERSAL 16) got: (Primitive UNIVERSAL 5) at offset 4 (record > job)"},
        {"exec", with([](members& m) { m.uuid = utf8("0123"); }), "couldn't decode UUID at offset 17 (record > uuid)"},
        {"exec", with([](members& m) { m.console = sequence({sequence({hex("02 01 05"), hex("05 00")})}); }),
         "Type mismatch: expected: (ANY UNIVERSAL 12) got: (Primitive UNIVERSAL 5) at offset 42 (record > console[0] > data)"},
        {"exec", with([&](members& m) { m.finished = bad_time; }),
         "GeneralizedTime: out of range: 20241302030406Z at offset 67 (record > timestamps > finished)"},
        {"exec", with([](members& m) { m.result = tagged(3, hex("02 01 05")); }),
         "Type mismatch: expected: (ANY UNIVERSAL 12) got: (Primitive UNIVERSAL 2) at offset 86 (record > result)"},
        {"exec", with([](members& m) { m.output = sequence({sequence({utf8(""), utf8("x")})}); }),
         "\"\": invalid path at offset 91 (record > output[0])"},
        {"state", sequence({hex("A5 03 0C 01 78"), hex("A5 03 02 01 07")}),
         "Type mismatch: expected: (ANY UNIVERSAL 12) got: (Primitive UNIVERSAL 2) at offset 9 (state[1])"},
        {"cmd", hex("B0 03 02 01 07"),
         "Type mismatch: expected: (ANY UNIVERSAL 12) got: (Primitive UNIVERSAL 2) at offset 2 (command)"},
    };
    test::temp_dir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        for (const std::string form : {"--color=never", "--json"}) {
            const auto r = test::run({tool, form, c.kind, dir.file("bad.der", c.bytes)});
            EXPECT_EQ(r.status, 124);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, said(c.message));
        }
    }
}

}  // namespace
