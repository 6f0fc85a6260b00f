// quarvel-dump --salvage: what a broken record still holds whole before its fault, then where the fault
// lies; the status stays 124. A sound record is written as without the option.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <quarvel/asn.hpp>

#include "cli/eval.hpp"
#include "dump/fixtures.hpp"
#include "quarvel/asn_bytes.hpp"
#include "support/process.hpp"

namespace {

using namespace asn_bytes;

const std::string tool = QUARVEL_DUMP_BINARY;

// The first `count` lines of `text`.
std::string first_lines(const std::string& text, std::size_t count) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) at = text.find('\n', at) + 1;
    return text.substr(0, at);
}

TEST(Salvage, TextHoldsTheWholeMembersBeforeTheFault) {
    test::temp_dir dir;
    const std::string whole = hex(example_record_hex);
    const auto sound = test::run({tool, "exec", dir.file("whole.der", whole)});
    ASSERT_EQ(sound.status, 0);
    // The summary's lines: job, uuid, started, stopped, duration, result, console, output.
    const std::string& summary = sound.out;
    const std::string job_uuid = first_lines(summary, 2);
    const std::string times = summary.substr(job_uuid.size(), first_lines(summary, 5).size() - job_uuid.size());
    const std::string console = "console 1 line, 2 bytes\n";
    const struct {
        const char* what;
        std::string bytes;
        std::string out;
    } cases[]{
        {"cut inside the uuid", whole.substr(0, 20), first_lines(summary, 1) + "cut at offset 17 (record > uuid)\n"},
        {"cut inside the console's only line", whole.substr(0, 47),
         job_uuid + "console 0 lines, 0 bytes\ncut at offset 44 (record > console[0] > data)\n"},
        {"cut inside the start", whole.substr(0, 60), job_uuid + console + "cut at offset 50 (record > timestamps > started)\n"},
        {"cut inside the result", whole.substr(0, 87),
         job_uuid + times + console + "cut at offset 86 (record > result)\n"},
        {"cut inside the output file", whole.substr(0, 100),
         job_uuid + times + "exited 0\n" + console + "cut at offset 93 (record > output[0] > path)\n"},
        // Not a cut: a time out of range in the middle, salvaged the same way up to it.
        {"a bad stop time", whole.substr(0, 69) + "20241302030406Z" + whole.substr(84),
         job_uuid + "started at 2024-01-02T03:04:05-00:00\n" + console +
             "cut at offset 67 (record > timestamps > finished)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto r = test::run({tool, "--salvage", "exec", dir.file("broken.der", c.bytes)});
        EXPECT_EQ(r.status, 124);
        EXPECT_EQ(r.out, c.out);
        // The fault is said as without --salvage.
        EXPECT_EQ(r.err, test::run({tool, "exec", dir.path + "/broken.der"}).err);
    }
    // A sound record: exactly what exec writes.
    const auto r = test::run({tool, "--salvage", "exec", dir.path + "/whole.der"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, summary);
}

TEST(Salvage, JsonCarriesThePlaceOfTheCut) {
    test::temp_dir dir;
    const std::string whole = hex(example_record_hex);
    const std::string json = test::run({tool, "--json", "exec", dir.file("whole.der", whole)}).out;
    const std::string before_result = json.substr(0, json.find(",\"result\""));
    auto r = test::run({tool, "--salvage", "--json", "exec", dir.file("cut.der", whole.substr(0, 87))});
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.out, before_result + ",\"cut\":{\"offset\":86,\"path\":\"record > result\"}}\n");
    dump_test::expect_json_lines(r.out);

    // Several FILEs: the salvaged record's line stands for it, with its name; the sound one as ever.
    test::run_options in_dir;
    in_dir.cwd = dir.path;
    r = test::run({tool, "--salvage", "--json", "exec", "cut.der", "whole.der"}, in_dir);
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.out, "{\"file\":\"cut.der\",\"value\":" + before_result +
                         ",\"cut\":{\"offset\":86,\"path\":\"record > result\"}}}\n"
                         "{\"file\":\"whole.der\",\"value\":" + json.substr(0, json.size() - 1) + "}\n");
    dump_test::expect_json_lines(r.out);
}

TEST(Salvage, OnlyForRecordsReadWhole) {
    test::temp_dir dir;
    const auto file = dir.file("rec.der", hex(example_record_hex));
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--salvage", "state", file},
                                                 {"--salvage", "--reencode", "exec", file},
                                                 {"--salvage", "--framed", "exec", file}}) {
        std::vector<std::string> argv{tool};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto r = test::run(argv);
        EXPECT_EQ(r.status, 124);
        EXPECT_EQ(r.err, cli::message_line("quarvel-dump", "option '--salvage' needs KIND 'exec', without '--reencode' or '--framed'") + "\n");
    }
}

}  // namespace
