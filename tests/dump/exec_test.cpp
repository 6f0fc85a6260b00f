// quarvel-dump exec: the summary of a job execution record, one fact per line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <quarvel/asn.hpp>

#include "cli/eval.hpp"
#include "dump/summary.hpp"
#include "dump/fixtures.hpp"
#include "support/process.hpp"

namespace {

using dump_test::small_record;

const std::string tool = QUARVEL_DUMP_BINARY;
const std::string sample = std::string(QUARVEL_SOURCE_DIR) + "/samples/hello.der";

TEST(Exec, SummaryOfTheSampleRecord) {
    const auto r = test::run({tool, "exec", sample});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "hello on debian-12-amd64\n"
              "uuid 3f2a9c41-07d5-4e8b-9a61-5c0e27b4d318\n"
              "started at 2024-06-01T12:00:00-00:00\n"
              "stopped at 2024-06-01T12:00:01-00:00\n"
              "duration 1.500s\n"
              "exited 0\n"
              "console 6 lines, 147 bytes\n"
              "output result.txt, 10 bytes\n"
              "output hello.c.sha256, 74 bytes\n");
    EXPECT_EQ(r.err, "");
}

TEST(Exec, SummaryLines) {
    struct case_ {
        std::string what;
        void (*change)(quarvel::execution_record&);
        std::string summary;
    };
    const std::string head = "a on p\nuuid 00112233-4455-6677-8899-aabbccddeeff\nstarted at 2024-01-02T03:04:05-00:00\n";
    const std::vector<case_> cases{
        {"worked example", [](quarvel::execution_record&) {},
         head + "stopped at 2024-01-02T03:04:06-00:00\nduration 1.000s\nexited 0\nconsole 1 line, 2 bytes\n"
                "output out.txt, 1 byte\n"},
        {"empty lists, aborted",
         [](quarvel::execution_record& r) {
             r.console.clear();
             r.output.clear();
             r.result = quarvel::Msg{"boom"};
         },
         head + "stopped at 2024-01-02T03:04:06-00:00\nduration 1.000s\nexecution aborted: boom\n"
                "console 0 lines, 0 bytes\n"},
        {"paths that would break the line, or start with a quote, are quoted",
         [](quarvel::execution_record& r) {
             r.output = {{"a\nb", ""}, {"\"q\"", "yy"}, {"caf\xc3\xa9", "zzz"}, {"dir/ok file", "1234"}};
         },
         head + "stopped at 2024-01-02T03:04:06-00:00\nduration 1.000s\nexited 0\nconsole 1 line, 2 bytes\n"
                "output \"a\\nb\", 0 bytes\noutput \"\\\"q\\\"\", 2 bytes\noutput \"caf\\195\\169\", 3 bytes\n"
                "output dir/ok file, 4 bytes\n"},
        {"stopped before it started",
         [](quarvel::execution_record& r) {
             r.finished = {1'704'164'643, 500'000'000};
             r.result = quarvel::Signalled{9};
         },
         head + "stopped at 2024-01-02T03:04:03-00:00\nduration -1.500s\nsignalled 9\nconsole 1 line, 2 bytes\n"
                "output out.txt, 1 byte\n"},
    };
    test::temp_dir dir;
    for (const auto& c : cases) {
        auto record = small_record();
        c.change(record);
        const auto file = dir.file("rec.der", quarvel::asn::exec_to_str(record));
        const auto r = test::run({tool, "exec", file});
        EXPECT_EQ(r.status, 0) << c.what << r.err;
        EXPECT_EQ(r.out, c.summary) << c.what;
    }
}

TEST(Exec, ElapsedTimeBeyondTheNanosecondRange) {
    EXPECT_EQ(dump::elapsed_text({0, 0}, {0, 1'000}), "1.000\xce\xbcs");
    EXPECT_EQ(dump::elapsed_text({0, 999'999'999}, {1, 0}), "0.001\xce\xbcs");
    // 0000-01-01 to 9999-12-31: far more than 2^64 nanoseconds.
    EXPECT_EQ(dump::elapsed_text({-62'167'219'200, 0}, {253'402'300'799, 0}), "9999a290d");
    EXPECT_EQ(dump::elapsed_text({253'402'300'799, 0}, {-62'167'219'200, 0}), "-9999a290d");
}

TEST(Exec, ReencodedAndFailures) {
    test::temp_dir dir;
    const auto bytes = quarvel::asn::exec_to_str(small_record());
    const auto file = dir.file("rec.der", bytes);
    auto r = test::run({tool, "--reencode", "exec", file});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, bytes);

    const auto bad = dir.file("bad.der", bytes + '\0');
    r = test::run({tool, "exec", bad});
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "quarvel-dump: trailing bytes at offset " + std::to_string(bytes.size()) + "\n");
}

}  // namespace
