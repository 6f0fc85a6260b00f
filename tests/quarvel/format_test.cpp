#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

#include <quarvel/format.hpp>

namespace quarvel {
namespace {

// Writes a token script: "@ " is a space hint, "@," a cut hint, "@." a line end, "|" only separates two
// text tokens; every other stretch is one text token.
void write_script(formatter& f, std::string_view script) {
    std::size_t start = 0;
    const auto text_up_to = [&](std::size_t end) {
        if (end > start) f.text(script.substr(start, end - start));
    };
    for (std::size_t i = 0; i < script.size(); ++i) {
        if (script[i] == '|') {
            text_up_to(i);
            start = i + 1;
        } else if (script[i] == '@' && i + 1 < script.size()) {
            const char kind = script[i + 1];
            if (kind != ' ' && kind != ',' && kind != '.') continue;
            text_up_to(i);
            if (kind == ' ') f.space();
            if (kind == ',') f.cut();
            if (kind == '.') f.line_end();
            start = i + 2;
            ++i;
        }
    }
    text_up_to(script.size());
}

std::string lay_out(std::string_view script, int margin) {
    std::string out;
    formatter f(out, margin);
    write_script(f, script);
    f.finish();
    return out;
}

TEST(Formatter, LayoutRules) {
    struct Case {
        const char* why;
        int margin;
        std::string_view script;
        std::string_view expected;
    };
    const Case cases[] = {
        {"text alone is never split or broken", 5, "abcdefgh|ij", "abcdefghij"},
        {"the last hint before a line end is a line feed", 78, "a@ b@.", "a\nb\n"},
        {"the last cut before a line end is a line feed", 78, "a,@,b@.", "a,\nb\n"},
        {"earlier hints whose stretch fits stay spaces", 78, "a@ b@ c@ d@.", "a b c\nd\n"},
        {"earlier cuts whose stretch fits write nothing", 78, "a,@,b,@,c@.", "a,b,\nc\n"},
        {"a hint with nothing after it before a line end", 78, "p:@ @.", "p:\n\n"},
        {"line ends with nothing pending", 78, "abc@.@.", "abc\n\n"},
        {"settled size equal to the room left fits", 10, "aaaa@ bbbb@ cc@.", "aaaa bbbb\ncc\n"},
        {"pending width reaching the room left forces the open hint out", 9, "aaaa@ bbbb@.", "aaaa\nbbbb\n"},
        {"pending width adds up over several text tokens", 10, "aaaa@ bb|cc|dd@.", "aaaa\nbbccdd\n"},
        {"a forced break resets the column for later hints", 10, "aaaa@ bbbbbb@ cc@ d@.",
         "aaaa\nbbbbbb cc\nd\n"},
        {"cuts settle at the next hint and force like spaces", 10, "abc,@,def,@,ghi@.", "abc,def,\nghi\n"},
        {"a hint's size includes the next hint's width", 5, "abcd@ @ x", "abcd\n\nx"},
        {"a cut's size of zero fits in no room at all", 4, "abcd@,@,x", "abcd\nx"},
        {"a space that fits exactly leaves the column at the margin", 5, "abcd@ @,x", "abcd \nx"},
        {"past the margin every hint breaks", 5, "abcdefgh@ ij@.", "abcdefgh\nij\n"},
        {"the column starts again after a line end", 10, "aaaaaaaa@.bb@ cc@ dd@.", "aaaaaaaa\nbb cc\ndd\n"},
        {"finishing turns the open hint into a line feed", 78, "a@ b", "a\nb"},
        {"finishing after a trailing hint", 78, "a@ ", "a\n"},
        {"finishing with nothing pending appends nothing", 78, "ab", "ab"},
        {"finishing an empty formatter", 78, "", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(lay_out(c.script, c.margin), c.expected) << c.why << ": " << c.script;
}

TEST(Formatter, DefaultMarginIs78) {
    const std::string x70(70, 'x');
    std::string out;
    formatter f(out);
    EXPECT_EQ(f.margin(), 78);
    // The first hint's stretch fills columns 70 to 77 exactly (1 + 6 + the next hint's 1 = 8 = 78 - 70).
    write_script(f, x70 + "@ yyyyyy@ z@.");
    EXPECT_EQ(out, x70 + " yyyyyy\nz\n");
    out.clear();
    // One more byte and the pending width reaches the room left: the hint breaks.
    write_script(f, x70 + "@ yyyyyyy@ z@.");
    EXPECT_EQ(out, x70 + "\nyyyyyyy\nz\n");
}

TEST(Formatter, StringSinkReceivesLaidOutBytesAsTheyAreSettled) {
    std::string out;
    formatter f(out);
    f.text("abc");
    EXPECT_EQ(out, "abc");
    EXPECT_EQ(f.column(), 3);
    f.space();
    f.text("def");
    EXPECT_EQ(out, "abc");  // behind a hint whose size is still open
    f.space();
    EXPECT_EQ(out, "abc def");
    f.text("ghi");
    f.line_end();
    EXPECT_EQ(out, "abc def\nghi\n");
    EXPECT_EQ(f.column(), 0);
}

TEST(Formatter, RenderFinishesOnAFreshFormatter) {
    EXPECT_EQ(render([](formatter& f) { write_script(f, "a@ b"); }), "a\nb");
    EXPECT_EQ(render([](formatter& f) { write_script(f, "a@ b@."); }), "a\nb\n");
    EXPECT_EQ(render([](formatter&) {}), "");
    EXPECT_EQ(render([](formatter& f) { EXPECT_EQ(f.margin(), 78); }), "");
}

std::string contents_of(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string out;
    char buffer[256];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) out.append(buffer, n);
    std::fseek(file, 0, SEEK_END);
    return out;
}

TEST(Formatter, StreamSinkIsWrittenAtLineEndsAndLeftOpen) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        formatter f(file);
        write_script(f, "abc@ def");
        EXPECT_EQ(contents_of(file), "");
        f.line_end();
        EXPECT_EQ(contents_of(file), "abc\ndef\n");
        write_script(f, "ghi@ jkl");
        EXPECT_FALSE(f.failed());
    }
    // Destruction lays out what is pending and hands it over, so nothing written is lost.
    EXPECT_EQ(contents_of(file), "abc\ndef\nghi\njkl");
    EXPECT_EQ(std::fputs("!", file), 1);  // still open
    EXPECT_EQ(contents_of(file), "abc\ndef\nghi\njkl!");
    std::fclose(file);
}

TEST(Formatter, StreamSinkKeepsLongStretchesInOrder) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::string expected;
    {
        formatter f(file, 20);
        for (int i = 0; i < 20000; ++i) {
            if (i > 0) f.space();
            f.text("word;");
        }
        EXPECT_GT(contents_of(file).size(), 60'000u);  // a long stretch is handed over in pieces
        f.line_end();
    }
    // Lines of three words: before a fourth word the pending hint and word (6 wide) reach the 3 columns left.
    // The last hint before the line end breaks too, so the last two words each get a line.
    for (int i = 0; i < 20000; ++i) expected += i % 3 == 2 || i >= 19998 ? "word;\n" : "word; ";
    const std::string written = contents_of(file);
    EXPECT_TRUE(written == expected) << "first difference at byte "
                                     << std::mismatch(written.begin(), written.end(), expected.begin(), expected.end()).first - written.begin();
    std::fclose(file);
}

TEST(Formatter, DescriptorSinkIsWrittenAtLineEnds) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::fcntl(fds[0], F_SETFL, O_NONBLOCK), 0);
    const auto drain = [&] {
        std::string out;
        char buffer[256];
        for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<std::size_t>(n));
        return out;
    };
    {
        formatter f(file_descriptor{fds[1]});
        write_script(f, "abc@ def");
        EXPECT_EQ(drain(), "");
        f.line_end();
        EXPECT_EQ(drain(), "abc\ndef\n");
        f.text("tail");
    }
    EXPECT_EQ(drain(), "tail");
    EXPECT_EQ(::write(fds[1], "!", 1), 1);  // not closed by the formatter
    EXPECT_EQ(drain(), "!");
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(Formatter, FailedDescriptorWriteIsReportedNotFatal) {
    formatter f(file_descriptor{-1});
    f.text("lost");
    f.line_end();
    EXPECT_TRUE(f.failed());
    f.text("still safe");
    f.line_end();
}

}  // namespace
}  // namespace quarvel
