// quarvel-inspect on input that never ends, and on a console line far larger than its output batch.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <quarvel/asn.hpp>
#include <quarvel/pp.hpp>

#include "cli/eval.hpp"
#include "support/process.hpp"

namespace {

const std::string tool = QUARVEL_INSPECT_BINARY;
const std::string sample = std::string(QUARVEL_SOURCE_DIR) + "/samples/hello.der";

// Read as far as the first element reaches and one octet more, then decoded: the decoder's message for
// those octets, at once. The address space is limited so that reading on would end in status 125 instead
// of taking the machine's memory.
TEST(StreamInput, InputThatNeverEndsEndsTheRunAtOnce) {
    test::temp_dir dir;
    struct case_ {
        std::string command;
        std::string message;
    };
    const std::vector<case_> cases{
        {"exec \"$0\" --job /dev/zero", quarvel::asn::exec_of_str(std::string(3, '\0')).error()},
        {"yes 2>/dev/null | exec \"$0\" --console -", quarvel::asn::exec_of_str("y\ny\ny\ny\ny\ny\ny").error()},
        {"(cat \"$1\"; yes 2>/dev/null) | exec \"$0\" --job -", "trailing bytes"},
        {"(cat \"$1\"; cat /dev/zero 2>/dev/null) | exec \"$0\" --job -", "trailing bytes"},
    };
#if defined(__SANITIZE_ADDRESS__)
    const std::string limit;
#else
    const std::string limit = "ulimit -v 2000000; ";
#endif
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const auto r = test::run({"/bin/sh", "-c", limit + c.command, tool, sample});
        EXPECT_EQ(r.status, 124);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, cli::message_line("quarvel-inspect", c.message) + "\n");
    }
    // A record that the pipe ends after is printed as from its file.
    const auto r = test::run({"/bin/sh", "-c", "cat \"$1\" | exec \"$0\" --job --console -", tool, sample});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, test::run({tool, "--job", "--console", sample}).out);
}

quarvel::execution_record record_with_line(std::string data) {
    quarvel::execution_record r;
    r.job = {"a", "p", "s"};
    r.console = {{5'000'000, std::move(data)}};
    r.started = quarvel::der::from_civil({2024, 1, 2, 3, 4, 5});
    r.finished = quarvel::der::from_civil({2024, 1, 2, 3, 4, 6});
    r.result = quarvel::Exited{0};
    return r;
}

// A line escaped to far more than a batch holds leaves from where it was escaped, in order between the
// lines held before and after it.
TEST(StreamInput, ALineLargerThanTheBatchIsPrintedInItsPlace) {
    test::temp_dir dir;
    const auto rec = dir.file("rec.der", quarvel::asn::exec_to_str(record_with_line(std::string(100'000, '\x01'))));
    std::string escaped;
    for (int i = 0; i < 100'000; ++i) escaped += "\\001";
    const auto r = test::run({tool, "--job", "--console", "--script", rec});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == "a on p\nstarted at 2024-01-02T03:04:05-00:00\n5ms: \"" + escaped +
                             "\"\nexited 0\nstopped at 2024-01-02T03:04:06-00:00\ns\n")
        << r.out.substr(0, 200);
}

// One console line of 32 MiB of control bytes: escaped, four times as long, held once.
TEST(StreamInput, AGiantLineIsEscapedOnce) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow and quarantine would dominate the figure";
#endif
    test::temp_dir dir;
    const auto rec = dir.file("rec.der", quarvel::asn::exec_to_str(record_with_line(std::string(32 << 20, '\x01'))));
    const auto r = test::run({"/bin/sh", "-c", "exec \"$0\" --console \"$1\" >/dev/null", tool, rec});
    EXPECT_EQ(r.status, 0) << r.err;
    const long input_kib = static_cast<long>(std::filesystem::file_size(rec) / 1024);
    EXPECT_LT(r.max_rss_kib, 6 * input_kib + 64 * 1024) << "peak " << r.max_rss_kib << " KiB";
    // Escaped a piece at a time, the line is never held whole: the mapped record and a few buffers.
    EXPECT_LT(r.max_rss_kib, 2 * input_kib + 64 * 1024) << "peak " << r.max_rss_kib << " KiB";
}

// A line long enough to leave in pieces is the same line, byte for byte, with every octet's escape, in its
// place between the lines before and after it; terminal or not.
TEST(StreamInput, ALineThatLeavesInPiecesIsTheSameLine) {
    test::temp_dir dir;
    std::string data(3 << 20, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 37 % 256);
    const auto rec = dir.file("rec.der", quarvel::asn::exec_to_str(record_with_line(data)));
    const std::string expected_line = "5ms: " + quarvel::quoted(data);  // the quoted form of the whole text
    const auto r = test::run({tool, "--job", "--console", rec});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == "a on p\nstarted at 2024-01-02T03:04:05-00:00\n" + expected_line +
                             "\nexited 0\nstopped at 2024-01-02T03:04:06-00:00\n")
        << r.out.size();
}

}  // namespace
