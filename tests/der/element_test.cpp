// The element reader: header rules, both kinds of running off the end, the depth bound, and the walk of
// children over the views it returns.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <der/element.hpp>
#include <der/writer.hpp>

#include "der/hex.hpp"

namespace {

using der_test::hex;

struct failure_case {
    const char* name;
    std::string input;
    std::string message;
};

class ParseFailure : public testing::TestWithParam<failure_case> {};

TEST_P(ParseFailure, Message) {
    const auto& c = GetParam();
    const auto r = der::parse(c.input);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), c.message);
    // The same words, made piece by piece, the dump's line breaks left to the layout that shows them.
    der::tape headers;
    const auto fault = der::check_headers(headers, c.input);
    ASSERT_TRUE(fault);
    std::string words;
    der::reader_message_words(*fault, c.input, [&](std::string_view piece) { words += piece; });
    std::string one_line;
    for (std::size_t i = 0; i < r.error().size(); ++i) {
        if (r.error()[i] != '\n') {
            one_line += r.error()[i];
            continue;
        }
        one_line += ' ';
        while (i + 1 < r.error().size() && r.error()[i + 1] == ' ') ++i;
    }
    EXPECT_EQ(words, one_line);
}

// The walk without a tape reads what the tape reader reads: the same headers, in the same order, and the
// same fault at the same place, for every input.
void expect_walk_as_tape(const std::string& input, const std::string& what) {
    struct seen {
        std::size_t offset, depth, header_size;
        std::string tag;
        der::form form;
        const char* contents;
        std::size_t size;
        bool operator==(const seen&) const = default;
    };
    const auto of = [](const der::header_view& h) {
        return seen{h.offset, h.depth, h.header_size, der::tag_text(h.value.tag), h.value.form,
                    h.value.contents.data(), h.value.contents.size()};
    };
    der::tape headers;
    const auto fault = der::check_headers(headers, input);
    std::vector<seen> on_tape, walked;
    der::each_header(headers, [&](const der::header_view& h) { on_tape.push_back(of(h)); });
    const auto walk_fault = der::walk_headers(input, [&](const der::header_view& h) { walked.push_back(of(h)); });
    ASSERT_EQ(fault.has_value(), walk_fault.has_value()) << what;
    if (fault) {
        EXPECT_EQ(walk_fault->why, fault->why) << what;
        EXPECT_EQ(walk_fault->offset, fault->offset) << what;
        EXPECT_EQ(walk_fault->buffer.data(), fault->buffer.data()) << what;
        EXPECT_EQ(walk_fault->buffer.size(), fault->buffer.size()) << what;
    }
    // On a fault, every header read before it (the tape closes what was open as announced).
    EXPECT_TRUE(walked == on_tape) << what << ": " << walked.size() << " headers walked, " << on_tape.size()
                                   << " on the tape";
}

TEST_P(ParseFailure, TheWalkFindsTheSameFault) { expect_walk_as_tape(GetParam().input, GetParam().name); }

TEST(WalkHeaders, ReadsWhatTheTapeReads) {
    std::string sample;
    {
        std::FILE* f = std::fopen(QUARVEL_SOURCE_DIR "/samples/hello.der", "rb");
        ASSERT_NE(f, nullptr);
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) sample.append(buffer, n);
        std::fclose(f);
    }
    expect_walk_as_tape(sample, "the sample");
    expect_walk_as_tape(sample + "x", "the sample and a trailing octet");
    expect_walk_as_tape(hex("3F 81 00 80 02 01 05 1F 81 02 01 00"), "high tag numbers");
    // Every octet of the sample changed in turn, and every cut of it.
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < sample.size(); ++i) {
        std::string changed = sample;
        state = state * 1664525 + 1013904223;
        changed[i] = static_cast<char>(state >> 24);
        expect_walk_as_tape(changed, "octet " + std::to_string(i) + " changed");
        expect_walk_as_tape(sample.substr(0, i), "cut at " + std::to_string(i));
    }
}

// A message about a large input keeps its dump short when asked, and says how much was left out.
TEST(ReaderMessage, DumpCutShortWithItsTotal) {
    const std::string input = hex("30 81 C8") + std::string(100, '\0');
    der::tape headers;
    const auto fault = der::check_headers(headers, input);
    ASSERT_TRUE(fault);
    EXPECT_EQ(der::reader_message(*fault, input, 8, true),
              "Unexpected EOF (msg String.sub / Bytes.sub): 3081c80000000000 ... (103 octets)");
    EXPECT_EQ(der::reader_message(*fault, input, 8), "Unexpected EOF (msg String.sub / Bytes.sub): 3081c80000000000 ...");
    EXPECT_EQ(der::reader_message(*fault, input, 200, true).size(), der::reader_message(*fault, input).size());
}

const std::string eof_index = "Unexpected EOF (msg index out of bounds): ";
const std::string eof_sub = "Unexpected EOF (msg String.sub / Bytes.sub): ";

INSTANTIATE_TEST_SUITE_P(
    Rules, ParseFailure,
    testing::Values(
        failure_case{"empty_input", "", eof_index},
        failure_case{"identifier_only", hex("30"), eof_index + "30"},
        failure_case{"big_tag_cut_short", hex("1F 81"), eof_index + "1f81"},
        failure_case{"long_length_cut_short", hex("02 82 01"), eof_index + "028201"},
        failure_case{"long_length_missing", hex("02 81"), eof_index + "0281"},
        // The child's length octet lies beyond its parent's contents, though not beyond the input: the
        // dump is still the whole input.
        failure_case{"child_header_beyond_parent", hex("30 01 02 01 05"), eof_index + "3001020105"},
        failure_case{"contents_beyond_input", hex("30 03 02 01"), eof_sub + "30030201"},
        failure_case{"child_contents_beyond_parent", hex("30 03 02 05 00 00 00 00 00"),
                     eof_sub + "3003020500000000 00"},
        failure_case{"length_near_2_pow_62", hex("30 88 3F FF FF FF FF FF FF FF 00"),
                     eof_sub + "30883fffffffffff ffff00"},
        failure_case{"tag_30_in_high_form", hex("1F 1E 00"), "Header: at 1f1e00: redundant form"},
        failure_case{"tag_0_in_high_form", hex("1F 00 00"), "Header: at 1f0000: big tag: leading 0"},
        failure_case{"big_tag_leading_0", hex("1F 80 01 00"), "Header: at 1f800100: big tag: leading 0"},
        failure_case{"big_tag_nine_octets", hex("1F 81 82 83 84 85 86 87 88 01 00"),
                     "Header: at 1f81828384858687 880100: big tag: too long"},
        failure_case{"length_5_in_long_form", hex("02 81 05 00 00 00 00 00"), "Header: at 0281050000000000: redundant form"},
        failure_case{"length_127_in_long_form", hex("02 81 7F"), "Header: at 02817f: redundant form"},
        failure_case{"length_with_leading_zero", hex("02 82 00 80"), "Header: at 02820080: redundant length"},
        failure_case{"leading_zero_before_overflow", hex("02 89 00"), "Header: at 028900: redundant length"},
        failure_case{"nine_length_octets", hex("02 89 01"), "Header: at 028901: length overflow"},
        failure_case{"length_0xff", hex("02 FF 01"), "Header: at 02ff01: length overflow"},
        failure_case{"length_2_pow_62", hex("02 88 40 00 00 00 00 00 00 00"),
                     "Header: at 0288400000000000 0000: length overflow"},
        failure_case{"primitive_indefinite", hex("05 80"), "Header: at 0580: primitive and indefinite length"},
        failure_case{"constructed_indefinite", hex("30 80 00 00"), "Constructed indefinite form"},
        // Header messages dump the buffer being read: the whole input at top level, trailing octets too ...
        failure_case{"top_level_dump_is_whole_input", hex("1F 1E 00 FF"), "Header: at 1f1e00ff: redundant form"},
        // ... and the parent's contents, from their first octet, below it.
        failure_case{"child_dump_is_parent_contents", hex("30 05 05 00 1F 1E 00 FF"), "Header: at 05001f1e00: redundant form"},
        failure_case{"grandchild_dump", hex("30 07 30 05 02 01 05 05 80"), "Header: at 0201050580: primitive and indefinite length"},
        // Errors come in reading order: depth first, left to right.
        failure_case{"first_error_in_reading_order", hex("30 07 30 02 05 80 1F 1E 00"),
                     "Header: at 0580: primitive and indefinite length"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Parse, EmptyConstructedElementHasNoChildren) {
    const std::string input = hex("30 00");
    const auto r = der::parse(input);
    ASSERT_TRUE(r.has_value()) << r.error();
    EXPECT_EQ(r->root.tag, der::tags::sequence);
    EXPECT_EQ(r->root.form, der::form::constructed);
    EXPECT_TRUE(r->root.contents.empty());
    EXPECT_TRUE(der::children(r->root).empty());
    EXPECT_EQ(r->size, 2u);
}

TEST(Parse, OctetsAfterTheElementAreNotExamined) {
    const std::string input = hex("05 00 FF FF 80");
    const auto r = der::parse(input);
    ASSERT_TRUE(r.has_value()) << r.error();
    EXPECT_EQ(r->size, 2u);
}

TEST(Parse, AcceptedHeaders) {
    struct accepted {
        std::string input;
        der::tag tag;
        der::form form;
        std::size_t contents_size;
    };
    const std::vector<accepted> cases = {
        {hex("1F 1F 00"), {der::tag_class::universal, 31}, der::form::primitive, 0},
        {hex("BF 81 00 00"), der::context(128), der::form::constructed, 0},
        // Eight subsequent octets, the most a tag number may use.
        {hex("5F 81 82 83 84 85 86 87 08 00"), {der::tag_class::application, 0x2'0818'40a1'8388}, der::form::primitive, 0},
        {hex("DF 7F 00"), {der::tag_class::private_use, 127}, der::form::primitive, 0},
        {hex("04 81 80") + std::string(128, 'x'), der::universal(4), der::form::primitive, 128},
        {hex("04 82 01 00") + std::string(256, 'x'), der::universal(4), der::form::primitive, 256},
    };
    for (const auto& c : cases) {
        const auto r = der::parse(c.input);
        ASSERT_TRUE(r.has_value()) << r.error();
        EXPECT_EQ(r->root.tag, c.tag) << der::tag_text(r->root.tag);
        EXPECT_EQ(r->root.form, c.form);
        EXPECT_EQ(r->root.contents.size(), c.contents_size);
        EXPECT_EQ(r->size, c.input.size());
    }
}

TEST(Parse, ElementsAreViewsIntoTheInput) {
    const std::string input = hex("30 0C 02 01 05 05 00 BF 1F 00 A1 02 05 00");
    const auto r = der::parse(input);
    ASSERT_TRUE(r.has_value()) << r.error();
    EXPECT_EQ(r->root.contents.data(), input.data() + 2);
    const auto kids = der::children(r->root);
    ASSERT_EQ(kids.size(), 4u);
    EXPECT_EQ(der::item_text(kids[0].form, kids[0].tag), "(Primitive UNIVERSAL 2)");
    EXPECT_EQ(kids[0].contents, hex("05"));
    EXPECT_EQ(kids[0].contents.data(), input.data() + 4);
    EXPECT_EQ(der::item_text(kids[1].form, kids[1].tag), "(Primitive UNIVERSAL 5)");
    EXPECT_EQ(der::item_text(kids[2].form, kids[2].tag), "(Constructed CONTEXT 31)");
    EXPECT_EQ(der::item_text(kids[3].form, kids[3].tag), "(Constructed CONTEXT 1)");
    EXPECT_EQ(kids[3].contents, hex("05 00"));

    der::child_cursor cursor(r->root);
    EXPECT_EQ(cursor.peek().tag, der::tags::integer);
    EXPECT_EQ(cursor.next().tag, der::tags::integer);
    EXPECT_EQ(cursor.peek().tag, der::tags::null);
}

// A cursor over contents `parse` never checked still reads nothing outside them.
TEST(ChildCursor, StaysInsideUncheckedContents) {
    const std::vector<std::string> contents = {hex("02 05 01"), hex("1F"), hex("1F 81 82"), hex("02 8F 01"),
                                               hex("02"),       hex("30 80 00 00"), hex("02 84 FF FF FF FF 01")};
    for (const auto& c : contents) {
        // A copy on the heap of exactly the contents' size, so that ASan sees any read past it.
        const std::vector<char> heap(c.begin(), c.end());
        const der::element parent{der::tags::sequence, der::form::constructed, std::string_view(heap.data(), heap.size())};
        std::size_t count = 0;
        for (der::child_cursor cursor(parent); !cursor.done(); ++count) {
            const der::element e = cursor.next();
            EXPECT_GE(e.contents.data(), heap.data());
            EXPECT_LE(e.contents.data() + e.contents.size(), heap.data() + heap.size());
        }
        EXPECT_GE(count, 1u);
    }
}

// `levels` elements nested in each other: constructed SEQUENCEs around `innermost`.
std::string nested(std::size_t levels, const std::string& innermost) {
    std::vector<std::size_t> sizes = {innermost.size()};
    for (std::size_t i = 1; i < levels; ++i) sizes.push_back(der::header_size(der::tags::sequence, sizes.back()) + sizes.back());
    std::string out;
    for (std::size_t i = levels; i-- > 1;) der::write_header(out, der::tags::sequence, der::form::constructed, sizes[i - 1]);
    return out + innermost;
}

TEST(Parse, NestingLimit) {
    struct limit_case {
        std::size_t levels;
        std::string innermost;
        bool accepted;
    };
    const std::vector<limit_case> cases = {
        {64, hex("05 00"), true},  {64, hex("30 00"), true},  {65, hex("05 00"), false},
        {65, hex("30 00"), false}, {66, hex("30 00"), false},
    };
    for (const auto& c : cases) {
        const std::string input = nested(c.levels, c.innermost);
        const auto r = der::parse(input);
        EXPECT_EQ(r.has_value(), c.accepted) << c.levels;
        if (!c.accepted) {
            ASSERT_FALSE(r.has_value());
            EXPECT_EQ(r.error(), "nesting deeper than 64 levels");
        }
    }
}

// The depth error comes in reading order: an earlier header error wins, a later one loses.
TEST(Parse, NestingErrorInReadingOrder) {
    const std::string too_deep = nested(65, hex("05 00"));
    std::string input;
    der::write_header(input, der::tags::sequence, der::form::constructed, too_deep.size() + 2);
    EXPECT_EQ(der::parse(input + too_deep + hex("05 80")).error(), "nesting deeper than 64 levels");
    input.clear();
    der::write_header(input, der::tags::sequence, der::form::constructed, too_deep.size() + 2);
    EXPECT_EQ(der::parse(input + hex("05 80") + too_deep).error().substr(0, 11), "Header: at ");
    expect_walk_as_tape(input + hex("05 80") + too_deep, "a header error before the depth");
    input.clear();
    der::write_header(input, der::tags::sequence, der::form::constructed, too_deep.size() + 2);
    expect_walk_as_tape(input + too_deep + hex("05 80"), "too deep");
}

TEST(Parse, DepthBombFailsWithoutRecursion) {
    // 100,000 nested SEQUENCEs with consistent lengths (about 500 KB): refused at level 65.
    const std::string bomb = nested(100'000, hex("30 00"));
    ASSERT_GT(bomb.size(), 300'000u);
    const auto r = der::parse(bomb);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), "nesting deeper than 64 levels");

    // The same headers claiming more than there is: the outermost contents run off the end.
    const std::string liar = der_test::repeat(hex("30 83 7F FF FF"), 100'000);
    const auto s = der::parse(liar);
    ASSERT_FALSE(s.has_value());
    EXPECT_EQ(s.error().substr(0, eof_sub.size()), eof_sub);
}

TEST(Parse, LongEofDumpBreaksLinesAtTheMargin) {
    // [0x30 0x25, 18 NULLs, then an identifier whose length octet is missing]: 39 octets dumped from
    // column 42, two groups per line.
    const std::string input = hex("30 25") + der_test::repeat(hex("05 00"), 18) + hex("02");
    const std::string indent(42, ' ');
    EXPECT_EQ(der::parse(input).error(), eof_index + "3025050005000500 0500050005000500\n" + indent +
                                             "0500050005000500 0500050005000500\n" + indent + "05000500050002");
}

}  // namespace
