// What `parse` keeps of the headers it checked: the walk over children reads it, and reads the same
// elements as the byte rules give, including the headers that do not fit the compact entries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <der/element.hpp>
#include <der/tag.hpp>

#include "der/hex.hpp"

namespace {

using der_test::hex;

// Tag, form and contents of every element below `e`, depth first.
void describe(const der::element& e, std::string& out) {
    out += der::item_text(e.form, e.tag);
    if (e.form == der::form::primitive) {
        out += '=';
        out += std::to_string(e.contents.size());
    } else {
        out += '{';
        for (der::child_cursor c(e); !c.done();) describe(c.next(), out);
        out += '}';
    }
}

TEST(Tape, WalksWhatParseChecked) {
    // High tag numbers (primitive and constructed), a long-form length, empty contents.
    const std::string input = hex("30 81 99 5F 81 82 83 84 85 86 87 08 01 AA BF 81 00 03 02 01 05 A1 00 04 81 80") +
                              std::string(128, 'x') + hex("30 00");
    const auto r = der::parse(input);
    ASSERT_TRUE(r) << r.error();
    std::string walked;
    describe(r->root, walked);
    EXPECT_EQ(walked,
              "(Constructed UNIVERSAL 16){(Primitive APPLICATION 571850209985416)=1(Constructed CONTEXT 128){"
              "(Primitive UNIVERSAL 2)=1}(Constructed CONTEXT 1){}(Primitive UNIVERSAL 4)=128(Constructed UNIVERSAL 16){}}");
    const auto kids = der::children(r->root);
    ASSERT_EQ(kids.size(), 5u);
    EXPECT_EQ(kids[0].contents, hex("AA"));
    EXPECT_EQ(kids[0].contents.data(), input.data() + 13);
    EXPECT_EQ(kids[3].contents, std::string(128, 'x'));
    EXPECT_EQ(der::child_cursor(r->root).remaining(), 5u);
    der::child_cursor cursor(r->root);
    cursor.next();
    EXPECT_EQ(cursor.remaining(), 4u);
    EXPECT_EQ(cursor.peek().tag, der::context(128));
}

TEST(Tape, LongListsAndDeepSubtrees) {
    // More children, and a larger subtree, than a compact entry counts: 600 000 SEQUENCEs of one NULL.
    const std::size_t n = 600'000;
    std::string items;
    for (std::size_t i = 0; i < n; ++i) items += hex("30 02 05 00");
    const std::string input = hex("A0 83") + std::string{char(0x24), char(0x9F), char(0x08)} + hex("30 83") +
                              std::string{char(0x24), char(0x9F), char(0x00)} + items + hex("02 01 07");
    ASSERT_EQ(items.size(), 0x249F00u);
    const auto r = der::parse(input);
    ASSERT_TRUE(r) << r.error();
    der::child_cursor outer(r->root);
    const der::element list = outer.next();
    EXPECT_EQ(der::child_cursor(list).remaining(), n);
    // The sibling after the large subtree is found at once.
    ASSERT_FALSE(outer.done());
    const der::element after = outer.next();
    EXPECT_EQ(after.tag, der::tags::integer);
    EXPECT_EQ(after.contents, hex("07"));
    EXPECT_TRUE(outer.done());
}

TEST(Tape, ListMessagesInOneString) {
    const std::string input = hex("30 0A 05 00 A1 00 02 01 05 BF 1F 00");
    const auto r = der::parse(input);
    ASSERT_TRUE(r) << r.error();
    const std::string prefix = "SEQUENCE: trailing: ";
    der::child_cursor cursor(r->root);
    EXPECT_EQ(der::element_list(prefix, cursor), prefix + der::element_list(der::children(r->root), prefix.size()));
    cursor.next();
    EXPECT_EQ(der::element_list(prefix, cursor),
              "SEQUENCE: trailing: [(Constructed CONTEXT 1), (Primitive UNIVERSAL 2),\n" + std::string(21, ' ') +
                  "(Constructed CONTEXT 31)]");
    const der::element empty = der::children(r->root)[1];
    EXPECT_EQ(der::element_list("EXPLICIT: sequence: ", der::child_cursor(empty)), "EXPLICIT: sequence: []");
}

TEST(Tape, ParseIntoReplacesWhatTheTapeHeld) {
    // A larger element first, then a smaller one, a refused one, and one with a wide entry, into one tape:
    // each reads as `parse` reads it alone.
    const std::vector<std::string> inputs = {hex("30 0A 05 00 A1 00 02 01 05 BF 1F 00"), hex("30 03 02 01 07"),
                                             hex("30 03 02 02 07"), hex("5F 81 00 01 AA")};
    der::tape reused;
    for (const std::string& input : inputs) {
        const auto alone = der::parse(input);
        const auto into = der::parse_into(reused, input);
        ASSERT_EQ(alone.has_value(), into.has_value());
        if (!alone) {
            EXPECT_EQ(into.error(), alone.error());
            continue;
        }
        EXPECT_EQ(into->size, alone->size);
        EXPECT_EQ(reused.entries, alone->headers->entries);
        EXPECT_EQ(reused.wide.size(), alone->headers->wide.size());
        std::string a, b;
        describe(alone->root, a);
        describe(into->root, b);
        EXPECT_EQ(b, a);
    }
}

TEST(Tape, ALeaseInsideALeaseGetsATapeOfItsOwn) {
    const std::string sequence = hex("30 03 02 01 07"), null = hex("05 00");
    der::tape_lease outer;
    ASSERT_TRUE(der::parse_into(outer.get(), sequence));
    {
        der::tape_lease inner;
        EXPECT_NE(&inner.get(), &outer.get());
        ASSERT_TRUE(der::parse_into(inner.get(), null));
    }
    // The outer decode's headers are untouched by the inner one.
    EXPECT_EQ(outer.get().entries.size(), 2u);
}

}  // namespace

namespace {

// Offset, depth, tag and lengths of every header on the tape, one line each.
std::string headers_of(const der::tape& t) {
    std::string out;
    der::each_header(t, [&](const der::header_view& h) {
        out += std::to_string(h.offset) + ' ' + std::to_string(h.depth) + ' ' + der::item_text(h.value.form, h.value.tag) +
               ' ' + std::to_string(h.header_size) + '+' + std::to_string(h.value.contents.size()) + '\n';
    });
    return out;
}

TEST(Tape, HeadersInReadingOrderWithTheirOffsets) {
    der::tape t;
    EXPECT_FALSE(der::check_headers(t, hex("30 0A A0 03 02 01 05 30 00 0C 01 61")));
    EXPECT_EQ(headers_of(t),
              "0 0 (Constructed UNIVERSAL 16) 2+10\n"
              "2 1 (Constructed CONTEXT 0) 2+3\n"
              "4 2 (Primitive UNIVERSAL 2) 2+1\n"
              "7 1 (Constructed UNIVERSAL 16) 2+0\n"
              "9 1 (Primitive UNIVERSAL 12) 2+1\n");
}

// A fault leaves what was read before it on the tape, the open elements as their headers announced
// them, and says where it lies.
TEST(Tape, WhatWasReadBeforeAFault) {
    der::tape t;
    const std::string input = hex("30 08 A0 03 02 01 05 0C 81 05");
    const auto fault = der::check_headers(t, input);
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->why, der::header_fault::redundant_form);
    EXPECT_EQ(fault->offset, 7u);
    EXPECT_TRUE(t.fault.found);
    EXPECT_EQ(t.fault.offset, 7u);
    EXPECT_EQ(headers_of(t),
              "0 0 (Constructed UNIVERSAL 16) 2+8\n"
              "2 1 (Constructed CONTEXT 0) 2+3\n"
              "4 2 (Primitive UNIVERSAL 2) 2+1\n");
    EXPECT_EQ(der::reader_message(*fault, input), "Header: at a0030201050c8105: redundant form");
    EXPECT_EQ(der::reader_message(*fault, input, 4), "Header: at a0030201 ...: redundant form");
    EXPECT_EQ(der::parse(input).error(), "Header: at a0030201050c8105: redundant form");
}

}  // namespace
