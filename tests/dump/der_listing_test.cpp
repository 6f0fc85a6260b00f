// The structural listing of DER input: every element with its place, checked against a small reader of
// well-formed DER written here; every fault of the element reader ending the listing on its own line;
// the previews; the JSON Lines form, read back by Python.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <der/element.hpp>
#include <quarvel/asn.hpp>
#include <quarvel/model.hpp>

#include "der/hex.hpp"
#include "dump/der_listing.hpp"
#include "dump/fixtures.hpp"
#include "output/buffer.hpp"
#include "support/process.hpp"

namespace {

using dump_test::expect_json_lines;

using der_test::hex;
using der_test::repeat;

const dump::der_listing as_json{.json = true, .base = 0, .frame = std::nullopt, .file = std::nullopt};

struct listed {
    std::string text;
    quarvel::result<void> status;
};

listed list(std::string_view input, const dump::der_listing& how = {}) {
    listed r;
    {
        output::buffer out(r.text);
        r.status = dump::list_der(out, input, how);
    }
    return r;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            lines.push_back(text.substr(at) + "<no line feed>");
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// One element as a reader of well-formed DER finds it.
struct found {
    std::size_t offset, depth;
    std::string tag;
    bool constructed;
    std::size_t header, length;
};

// Reads the well-formed element at `at` and, while shallower than `levels`, its children, depth first;
// returns where the element ends.
std::size_t walk(std::string_view in, std::size_t at, std::size_t depth, std::size_t levels, std::vector<found>& out) {
    const auto octet = [&](std::size_t i) { return static_cast<unsigned char>(in.at(i)); };
    std::size_t p = at;
    const unsigned identifier = octet(p++);
    std::uint64_t number = identifier & 0x1F;
    if (number == 31) {
        number = 0;
        unsigned o;
        do {
            o = octet(p++);
            number = number << 7 | (o & 0x7F);
        } while (o & 0x80);
    }
    std::size_t length = octet(p++);
    if (length & 0x80) {
        const std::size_t n = length & 0x7F;
        length = 0;
        for (std::size_t k = 0; k < n; ++k) length = length << 8 | octet(p++);
    }
    static const char* const classes[] = {"UNIVERSAL", "APPLICATION", "CONTEXT", "PRIVATE"};
    const bool constructed = (identifier & 0x20) != 0;
    out.push_back({at, depth, std::string(classes[identifier >> 6]) + " " + std::to_string(number), constructed,
                   p - at, length});
    const std::size_t end = p + length;
    if (constructed && depth + 1 < levels)
        for (std::size_t child = p; child < end;) child = walk(in, child, depth + 1, levels, out);
    return end;
}

std::vector<found> reference(std::string_view in, std::size_t levels = SIZE_MAX) {
    std::vector<found> all;
    EXPECT_EQ(walk(in, 0, 0, levels, all), in.size());
    return all;
}

// A text line without its preview.
std::string text_line(const found& f, std::uint64_t base = 0) {
    return std::to_string(base + f.offset) + ": " + std::string(2 * f.depth, ' ') + f.tag +
           (f.constructed ? " Constructed" : " Primitive") + ", header " + std::to_string(f.header) + ", length " +
           std::to_string(f.length);
}

// A JSON line up to its preview.
std::string json_line(const found& f) {
    return R"({"offset":)" + std::to_string(f.offset) + R"(,"depth":)" + std::to_string(f.depth) + R"(,"tag":")" +
           f.tag + R"(","form":")" + (f.constructed ? "constructed" : "primitive") + R"(","header":)" +
           std::to_string(f.header) + R"(,"length":)" + std::to_string(f.length);
}

// Each line is the expected start, then nothing but a preview (`preview` then the end of the line).
void expect_lines(const std::string& text, const std::vector<std::string>& starts, std::string_view preview,
                  std::string_view end, const std::string& name) {
    const auto lines = lines_of(text);
    ASSERT_EQ(lines.size(), starts.size()) << name << "\n" << text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::string& start = starts[i];
        const bool plain = line == start + std::string(end);
        const bool with_preview = line.starts_with(start + std::string(preview)) && line.ends_with(end) &&
                                  line.size() > start.size() + preview.size() + end.size();
        EXPECT_TRUE(plain || with_preview) << name << ": line " << i << "\n  " << line << "\nexpected\n  " << start;
    }
}

// An element of the tag octets `identifier` around `contents`, its length in the shortest form.
std::string tlv(std::string_view identifier, const std::string& contents) {
    std::string length;
    if (contents.size() < 0x80) {
        length.push_back(static_cast<char>(contents.size()));
    } else {
        for (std::size_t n = contents.size(); n > 0; n >>= 8) length.insert(length.begin(), static_cast<char>(n & 0xFF));
        length.insert(length.begin(), static_cast<char>(0x80 | length.size()));
    }
    return hex(identifier) + length + contents;
}

std::string small_record() {
    quarvel::execution_record r;
    r.job = {"hello", "debian-12", "echo hi"};
    for (std::uint8_t i = 0; i < 16; ++i) r.uuid.octets[i] = static_cast<std::uint8_t>(i * 0x11);
    r.console = {{1'000'000, "hi"}};
    r.started = {1'717'243'200, 0};
    r.finished = {1'717'243'201, 500'000'000};
    r.result = quarvel::Exited{0};
    r.output = {{"out.txt", "hi\n"}};
    return quarvel::asn::exec_to_str(r);
}

struct well_formed {
    std::string name;
    std::string input;
};

std::vector<well_formed> well_formed_inputs() {
    return {
        {"flat SEQUENCE", hex("30 0A 02 01 05 05 00 0C 03 61 62 63")},
        {"nested constructed", hex("30 0D A0 06 30 04 02 02 01 00 31 03 01 01 FF")},
        {"high tag number", hex("3F 1F 06 9F 1F 01 07 80 00")},
        {"long-form length", hex("30 81 83 04 81 80") + repeat(hex("5A"), 128)},
        {"empty SEQUENCE", hex("30 00")},
        {"record", small_record()},
    };
}

// The example of quarvel-dump's manual, exactly.
TEST(DerListing, ListsTheExample) {
    const std::string input = hex("30 08 02 01 05 0C 03 61 62 63");
    const auto text = list(input);
    EXPECT_TRUE(text.status);
    EXPECT_EQ(text.text,
              "0: UNIVERSAL 16 Constructed, header 2, length 8\n"
              "2:   UNIVERSAL 2 Primitive, header 2, length 1: 5\n"
              "5:   UNIVERSAL 12 Primitive, header 2, length 3: \"abc\"\n");
    const auto json = list(input, as_json);
    EXPECT_TRUE(json.status);
    EXPECT_EQ(json.text,
              R"({"offset":0,"depth":0,"tag":"UNIVERSAL 16","form":"constructed","header":2,"length":8})" "\n"
              R"({"offset":2,"depth":1,"tag":"UNIVERSAL 2","form":"primitive","header":2,"length":1,"preview":"5"})" "\n"
              R"({"offset":5,"depth":1,"tag":"UNIVERSAL 12","form":"primitive","header":2,"length":3,"preview":"\"abc\""})"
              "\n");
}

// One tape serves every input, as it serves every frame of a capture.
TEST(DerListing, ListsEveryElementOfWellFormedInput) {
    for (const auto& c : well_formed_inputs()) {
        std::vector<std::string> starts;
        for (const auto& f : reference(c.input)) starts.push_back(text_line(f));
        const auto r = list(c.input);
        EXPECT_TRUE(r.status) << c.name << ": " << r.status.error();
        expect_lines(r.text, starts, ": ", "", c.name);
    }
}

struct malformed {
    std::string name;
    std::string input;
    std::vector<std::string> before;  // the lines of the elements read before the fault
    std::size_t offset;
    std::string message;
};

std::vector<malformed> malformed_inputs() {
    const std::string seq5 = "0: UNIVERSAL 16 Constructed, header 2, length ";
    const std::string five = "2:   UNIVERSAL 2 Primitive, header 2, length 1: 5";
    // 65 levels of SEQUENCE, the innermost empty: the reader refuses the 65th.
    std::string deep = hex("30 00");
    for (int level = 0; level < 64; ++level) deep = tlv("30", deep);
    std::vector<std::string> outer_levels;
    for (const auto& f : reference(deep, der::max_depth)) outer_levels.push_back(text_line(f));
    // A dump longer than the bound, which the reader lays out over several lines.
    std::string zeros;
    for (int group = 0; group < 7; ++group) zeros += " 0000000000000000";
    return {
        {"empty input", "", {}, 0, "Unexpected EOF (msg index out of bounds): "},
        {"header cut short", hex("30 01 02"), {seq5 + "1"}, 2, "Unexpected EOF (msg index out of bounds): 300102"},
        // The input ends inside its element: listed as far as it goes, the fault at the innermost element cut.
        {"contents past the end", hex("30 03 02 01"),
         {seq5 + "3, cut: 2 of 3 octets", "2:   UNIVERSAL 2 Primitive, header 2, length 1, cut: 0 of 1 octets"}, 2,
         "Unexpected EOF (msg String.sub / Bytes.sub): 30030201"},
        {"child past its parent", hex("30 05 02 01 05 04 05 01 02 03 04 05"), {seq5 + "5", five}, 5,
         "Unexpected EOF (msg String.sub / Bytes.sub): 3005020105040501 02030405"},
        {"primitive indefinite", hex("05 80"), {}, 0, "Header: at 0580: primitive and indefinite length"},
        {"constructed indefinite", hex("30 04 30 80 00 00"), {seq5 + "4"}, 2, "Constructed indefinite form"},
        {"redundant length form", hex("30 06 02 01 05 04 81 05"), {seq5 + "6", five}, 5,
         "Header: at 020105048105: redundant form"},
        {"redundant length octet", hex("30 07 02 01 05 04 82 00 80"), {seq5 + "7", five}, 5,
         "Header: at 02010504820080: redundant length"},
        {"length of nine octets", hex("30 06 02 01 05 04 89 01"), {seq5 + "6", five}, 5,
         "Header: at 020105048901: length overflow"},
        {"length past 2^62", hex("04 88 40 00 00 00 00 00 00 00"), {}, 0,
         "Header: at 0488400000000000 0000: length overflow"},
        {"big tag leading 0", hex("30 06 02 01 05 1F 80 01"), {seq5 + "6", five}, 5,
         "Header: at 0201051f8001: big tag: leading 0"},
        {"big tag too long", hex("30 0C 02 01 05 1F 81 81 81 81 81 81 81 81"), {seq5 + "12", five}, 5,
         "Header: at 0201051f81818181 81818181: big tag: too long"},
        {"redundant tag form", hex("30 06 02 01 05 1F 1E 00"), {seq5 + "6", five}, 5,
         "Header: at 0201051f1e00: redundant form"},
        {"too deep", deep, outer_levels, deep.size() - 2, "nesting deeper than 64 levels"},
        {"trailing octets", hex("30 03 02 01 05 00"), {seq5 + "3", five}, 5, "trailing bytes"},
        {"long dump on one line", hex("30 81 80 04 7F") + repeat(hex("00"), 126),
         {"0: UNIVERSAL 16 Constructed, header 3, length 128"}, 3,
         "Unexpected EOF (msg String.sub / Bytes.sub): 308180047f000000" + zeros + " ..."},
    };
}

TEST(DerListing, FaultEndsTheListing) {
    for (const auto& c : malformed_inputs()) {
        const auto r = list(c.input);
        std::string expected;
        for (const auto& line : c.before) expected += line + "\n";
        expected += std::to_string(c.offset) + ": error: " + c.message + "\n";
        EXPECT_EQ(r.text, expected) << c.name;
        ASSERT_FALSE(r.status) << c.name;
        EXPECT_EQ(r.status.error(), "at offset " + std::to_string(c.offset) + ": " + c.message) << c.name;
    }
}

TEST(DerListing, Previews) {
    struct case_ {
        std::string input;
        std::string line;
    };
    const std::string forty(40, 'a');
    const std::vector<case_> cases{
        {hex("02 01 05"), "0: UNIVERSAL 2 Primitive, header 2, length 1: 5"},
        {hex("02 01 FB"), "0: UNIVERSAL 2 Primitive, header 2, length 1: -5"},
        {hex("02 02 00 80"), "0: UNIVERSAL 2 Primitive, header 2, length 2: 128"},
        {hex("02 08 3F FF FF FF FF FF FF FF"), "0: UNIVERSAL 2 Primitive, header 2, length 8: 4611686018427387903"},
        // What the INTEGER reader refuses is shown in hexadecimal.
        {hex("02 08 40 00 00 00 00 00 00 00"), "0: UNIVERSAL 2 Primitive, header 2, length 8: 4000000000000000"},
        {hex("02 02 00 05"), "0: UNIVERSAL 2 Primitive, header 2, length 2: 0005"},
        {hex("02 00"), "0: UNIVERSAL 2 Primitive, header 2, length 0"},
        {hex("05 00"), "0: UNIVERSAL 5 Primitive, header 2, length 0"},
        {hex("0C 00"), "0: UNIVERSAL 12 Primitive, header 2, length 0"},
        {hex("0C 03 61 62 63"), "0: UNIVERSAL 12 Primitive, header 2, length 3: \"abc\""},
        // Nothing a terminal would act on: line feed, escape sequence, invalid UTF-8, a right-to-left override.
        {hex("0C 0C 61 0A 62 1B 5B 32 4A FF E2 80 AE 63"),
         "0: UNIVERSAL 12 Primitive, header 2, length 12: \"a\\nb\\e[2J\\xff\\u202ec\""},
        {tlv("0C", forty), "0: UNIVERSAL 12 Primitive, header 2, length 40: \"" + forty + "\""},
        {tlv("0C", forty + "b"), "0: UNIVERSAL 12 Primitive, header 2, length 41: \"" + forty + "\"..."},
        // An e-acute across the cut is left out whole.
        {tlv("0C", forty.substr(1) + "\xc3\xa9z"), "0: UNIVERSAL 12 Primitive, header 2, length 42: \"" +
                                                        forty.substr(1) + "\"..."},
        {tlv("0C", repeat("x", 1 << 20)),
         "0: UNIVERSAL 12 Primitive, header 5, length 1048576: \"" + std::string(40, 'x') + "\"..."},
        {tlv("17", "240601120000Z"), "0: UNIVERSAL 23 Primitive, header 2, length 13: \"240601120000Z\""},
        {tlv("18", "20240601120000.5Z"), "0: UNIVERSAL 24 Primitive, header 2, length 17: \"20240601120000.5Z\""},
        {hex("04 03 01 02 03"), "0: UNIVERSAL 4 Primitive, header 2, length 3: 010203"},
        {tlv("04", hex("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F")),
         "0: UNIVERSAL 4 Primitive, header 2, length 16: 000102030405060708090a0b0c0d0e0f"},
        {tlv("04", hex("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10")),
         "0: UNIVERSAL 4 Primitive, header 2, length 17: 000102030405060708090a0b0c0d0e0f..."},
        // Text tags count only in the UNIVERSAL class.
        {hex("8C 01 41"), "0: CONTEXT 12 Primitive, header 2, length 1: 41"},
        {hex("45 01 07"), "0: APPLICATION 5 Primitive, header 2, length 1: 07"},
        {hex("DF 1F 01 FF"), "0: PRIVATE 31 Primitive, header 3, length 1: ff"},
    };
    for (const auto& c : cases) {
        const auto r = list(c.input);
        EXPECT_TRUE(r.status);
        EXPECT_EQ(r.text, c.line + "\n");
    }
}

// Previews are lossless: a backslash and a quote are escaped too, so that contents that differ never
// preview alike, whichever escape the one spells out as characters that the other holds as a byte.
TEST(DerListing, DistinctContentsNeverPreviewAlike) {
    struct pair {
        std::string what, first, second, first_shown, second_shown;
    };
    const std::vector<pair> pairs{
        {"the byte 0xff and the characters \\xff", "\xff" "\\xff", "\\xff" "\xff", R"("\xff\\xff")", R"("\\xff\xff")"},
        {"ESC and the characters \\e", "\x1b", "\\e", R"("\e")", R"("\\e")"},
        {"a line feed and the characters \\n", "\n", "\\n", R"("\n")", R"("\\n")"},
        {"C1 CSI and the characters \\u009b", "\xc2\x9b", "\\u009b", R"("\u009b")", R"("\\u009b")"},
        {"a quote inside", "a\", \"b", "a\\\", \\\"b", R"("a\", \"b")", R"("a\\\", \\\"b")"},
        {"one backslash and two", "\\", "\\\\", R"("\\")", R"("\\\\")"},
    };
    for (const auto& p : pairs) {
        const auto first = list(tlv("0C", p.first));
        const auto second = list(tlv("0C", p.second));
        const std::string head = "0: UNIVERSAL 12 Primitive, header 2, length ";
        EXPECT_EQ(first.text, head + std::to_string(p.first.size()) + ": " + p.first_shown + "\n") << p.what;
        EXPECT_EQ(second.text, head + std::to_string(p.second.size()) + ": " + p.second_shown + "\n") << p.what;
        EXPECT_NE(p.first_shown, p.second_shown) << p.what;
    }
}

TEST(DerListing, JsonLines) {
    std::string all;
    for (const auto& c : well_formed_inputs()) {
        std::vector<std::string> starts;
        for (const auto& f : reference(c.input)) starts.push_back(json_line(f));
        const auto r = list(c.input, as_json);
        EXPECT_TRUE(r.status) << c.name;
        expect_lines(r.text, starts, R"(,"preview":")", "}", c.name);
        all += r.text;
    }
    const auto escaped = list(hex("30 0A 0C 02 61 0A 05 00 30 80 00 00"), as_json);
    EXPECT_EQ(escaped.text,
              R"({"offset":0,"depth":0,"tag":"UNIVERSAL 16","form":"constructed","header":2,"length":10})" "\n"
              R"({"offset":2,"depth":1,"tag":"UNIVERSAL 12","form":"primitive","header":2,"length":2,"preview":"\"a\\n\""})" "\n"
              R"({"offset":6,"depth":1,"tag":"UNIVERSAL 5","form":"primitive","header":2,"length":0})" "\n"
              R"({"offset":8,"error":"Constructed indefinite form"})" "\n");
    EXPECT_FALSE(escaped.status);
    all += escaped.text;
    for (const auto& c : malformed_inputs()) all += list(c.input, as_json).text;
    expect_json_lines(all);
}

// A frame of a capture: its offsets are the capture's, and its JSON objects say which frame they are of.
TEST(DerListing, FrameOfACapture) {
    const dump::der_listing text{.json = false, .base = 8, .frame = 1, .file = std::nullopt};
    const dump::der_listing json{.json = true, .base = 8, .frame = 1, .file = std::nullopt};
    const std::string input = hex("30 03 02 01 05 00");
    const auto t = list(input, text);
    EXPECT_EQ(t.text,
              "8: UNIVERSAL 16 Constructed, header 2, length 3\n"
              "10:   UNIVERSAL 2 Primitive, header 2, length 1: 5\n"
              "13: error: trailing bytes\n");
    ASSERT_FALSE(t.status);
    EXPECT_EQ(t.status.error(), "at offset 13: trailing bytes");
    const auto j = list(input, json);
    EXPECT_EQ(j.text,
              R"({"frame":1,"offset":8,"depth":0,"tag":"UNIVERSAL 16","form":"constructed","header":2,"length":3})" "\n"
              R"({"frame":1,"offset":10,"depth":1,"tag":"UNIVERSAL 2","form":"primitive","header":2,"length":1,"preview":"5"})" "\n"
              R"({"frame":1,"offset":13,"error":"trailing bytes"})" "\n");
    ASSERT_FALSE(j.status);
    EXPECT_EQ(j.status.error(), "at offset 13: trailing bytes");
    expect_json_lines(j.text);
}

}  // namespace

namespace {

// A listing walks a mapped file from start to end and gives up the pages behind it: a file of 48 MiB in
// 1 KiB strings is listed in a small part of its size.
TEST(DerListingMemory, AMappedFileIsNotHeldWhole) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow and quarantine would dominate the figure";
#endif
    test::temp_dir dir;
    std::string file;
    long file_kib = 0;
    {
        const std::string item = hex("04 82 04 00") + std::string(1024, 'x');
        std::string items;
        for (int i = 0; i < 48 * 1024; ++i) items += item;
        file = dir.file("large.der", hex("30 84 03 03 00 00") + items);
        file_kib = static_cast<long>((items.size() + 6) / 1024);
    }
    // The children's peak counts what they share of this process when they start: its copies are gone.
    for (const std::string form : {"", "--json "}) {
        const auto r = test::run(
            {"/bin/sh", "-c", "exec \"$0\" " + form + "der \"$1\" >/dev/null", QUARVEL_DUMP_BINARY, file});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_LT(r.max_rss_kib, file_kib / 4) << form << "peak " << r.max_rss_kib << " KiB";
    }
}

}  // namespace
