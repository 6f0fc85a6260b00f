// quarvel-dump's output as it is produced: JSON that keeps every number and fraction it decodes, values of
// any size in memory in proportion, a reader that goes away, and input that never ends.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include <quarvel/asn.hpp>
#include <quarvel/framing.hpp>

#include "cli/eval.hpp"
#include "der/hex.hpp"
#include "dump/json.hpp"
#include "support/process.hpp"

namespace {

const std::string tool = QUARVEL_DUMP_BINARY;
const std::string sample = std::string(QUARVEL_SOURCE_DIR) + "/samples/hello.der";

using der_test::hex;

std::string frame(const std::string& payload) {
    const auto p = quarvel::frame_prefix(static_cast<std::int64_t>(payload.size()));
    return std::string(p.data(), p.size()) + payload;
}

quarvel::uuid example_uuid() {
    quarvel::uuid u;
    for (std::uint8_t i = 0; i < 16; ++i) u.octets[i] = static_cast<std::uint8_t>(i * 0x11);
    return u;
}

// 2024-06-01T12:00:01Z
constexpr std::int64_t noon_and_a_second = 1'717'243'201;

quarvel::execution_record record_with_console(std::vector<quarvel::console_line> console) {
    quarvel::execution_record r;
    r.job = {"a", "p", "s"};
    r.uuid = example_uuid();
    r.console = std::move(console);
    r.started = {noon_and_a_second - 1, 0};
    r.finished = {noon_and_a_second, 500'000'000};
    r.result = quarvel::Exited{0};
    return r;
}

TEST(JsonData, TimestampsKeepTheirFractionOfASecond) {
    struct case_ {
        quarvel::timestamp t;
        std::string text;
    };
    const std::vector<case_> cases{
        {{noon_and_a_second, 0}, "2024-06-01T12:00:01-00:00"},
        {{noon_and_a_second, 500'000'000}, "2024-06-01T12:00:01.500-00:00"},
        {{noon_and_a_second, 120'000'000}, "2024-06-01T12:00:01.120-00:00"},
        {{noon_and_a_second, 5'000'000}, "2024-06-01T12:00:01.005-00:00"},
        {{noon_and_a_second, 999'000'000}, "2024-06-01T12:00:01.999-00:00"},
        // Finer than DER times carry: only a value built by hand.
        {{noon_and_a_second, 250'000}, "2024-06-01T12:00:01.000250-00:00"},
        {{noon_and_a_second, 1}, "2024-06-01T12:00:01.000000001-00:00"},
        {{noon_and_a_second, 999'999'999}, "2024-06-01T12:00:01.999999999-00:00"},
        // Before 1970 the fraction still counts toward the future from the whole second.
        {{-1, 500'000'000}, "1969-12-31T23:59:59.500-00:00"},
    };
    for (const auto& c : cases) EXPECT_EQ(dump::json_timestamp_text(c.t), c.text) << c.text;
}

// The times of every kind keep their milliseconds in JSON; the text forms still drop them.
TEST(JsonData, DecodedTimesKeepTheirMilliseconds) {
    test::temp_dir dir;
    const auto r = test::run({tool, "--json", "exec", sample});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(R"("started":"2024-06-01T12:00:00-00:00","finished":"2024-06-01T12:00:01.500-00:00",)"),
              std::string::npos)
        << r.out;
    EXPECT_NE(test::run({tool, "exec", sample}).out.find("stopped at 2024-06-01T12:00:01-00:00\n"), std::string::npos);

    const quarvel::timestamp next{1'704'164'645, 250'000'000};  // 2024-01-02T03:04:05.250Z
    const auto state = dir.file("state.der", quarvel::asn::state_to_str(
                                                 {{quarvel::state_item::Schedule{{next, quarvel::period::Daily, quarvel::script_job{"a", "p", "s"}}}}}));
    EXPECT_EQ(test::run({tool, "--json", "state", state}).out,
              R"([{"type":"schedule","next":"2024-01-02T03:04:05.250-00:00","period":"daily",)"
              R"("job":{"type":"script_job","name":"a","platform":"p","script":"s"}}])"
              "\n");
    EXPECT_EQ(test::run({tool, "state", state}).out,
              "schedule name a on p next 2024-01-02T03:04:05-00:00, scheduled daily\n");

    using C = quarvel::cmd;
    const auto reschedule = dir.file("cmd.der", quarvel::asn::cmd_to_str({C::Reschedule{"n", next, std::nullopt}}));
    EXPECT_EQ(test::run({tool, "--json", "cmd", reschedule}).out,
              R"({"type":"reschedule","name":"n","next":"2024-01-02T03:04:05.250-00:00","period":null})" "\n");
}

// A console delta and an Output_timestamped timestamp both cross the wire as an INTEGER: the same INTEGER
// is the same JSON number in both places.
TEST(JsonData, OneWireIntegerIsOneNumberAsADeltaAndAsATimestamp) {
    struct case_ {
        std::int64_t wire;
        std::string number;
    };
    const std::vector<case_> cases{
        {-1, "-1"},
        {0, "0"},
        {5'000'000, "5000000"},
        {(std::int64_t{1} << 62) - 1, "4611686018427387903"},
        {-(std::int64_t{1} << 62), "-4611686018427387904"},
    };
    test::temp_dir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        const auto exec = dir.file("rec.der", quarvel::asn::exec_to_str(record_with_console({{c.wire, "x"}})));
        const auto from_exec = test::run({tool, "--json", "exec", exec});
        EXPECT_EQ(from_exec.status, 0) << from_exec.err;
        EXPECT_NE(from_exec.out.find(R"("console":[{"delta":)" + c.number + R"(,"data":"x"}])"), std::string::npos)
            << from_exec.out;

        const std::string command = quarvel::asn::cmd_to_str(
            {quarvel::cmd::Output_timestamped{example_uuid(), {static_cast<std::uint64_t>(c.wire)}, "x"}});
        const auto from_cmd = test::run({tool, "--json", "cmd", dir.file("cmd.der", command)});
        EXPECT_EQ(from_cmd.status, 0) << from_cmd.err;
        EXPECT_EQ(from_cmd.out, R"({"type":"output_timestamped","uuid":"00112233-4455-6677-8899-aabbccddeeff",)"
                                R"("timestamp":)" + c.number + R"(,"output":"x"})" "\n");
    }
    // -1 is the INTEGER of one octet FF on the wire.
    EXPECT_NE(quarvel::asn::cmd_to_str({quarvel::cmd::Output_timestamped{example_uuid(), {~std::uint64_t{0}}, "x"}})
                  .find(hex("02 01 FF")),
              std::string::npos);
}

// A value far larger than the output buffer comes out whole, in every form of the run.
TEST(JsonStream, AValueLargerThanTheBufferIsWrittenWhole) {
    test::temp_dir dir;
    const std::size_t n = 200'000;  // escaped six times over: well past the 64 KiB buffer
    const std::string record = quarvel::asn::exec_to_str(record_with_console({{7, std::string(n, '\x01')}}));
    const auto file = dir.file("rec.der", record);
    const auto capture = dir.file("capture", frame(record) + frame(record));

    std::string escaped;
    for (std::size_t i = 0; i < n; ++i) escaped += "\\u0001";
    const std::string value =
        R"({"job":{"type":"script_job","name":"a","platform":"p","script":"s"},"uuid":"00112233-4455-6677-8899-aabbccddeeff",)"
        R"("console":[{"delta":7,"data":")" + escaped + R"("}],"started":"2024-06-01T12:00:00-00:00",)"
        R"("finished":"2024-06-01T12:00:01.500-00:00","result":{"type":"exited","code":0},"output":[]})";

    const auto one = test::run({tool, "--json", "exec", file});
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_TRUE(one.out == value + "\n") << one.out.substr(0, 300);

    const auto framed = test::run({tool, "--framed", "--json", "exec", capture});
    EXPECT_EQ(framed.status, 0) << framed.err;
    const std::string second_offset = std::to_string(8 + record.size());
    EXPECT_TRUE(framed.out == R"({"frame":1,"offset":0,"value":)" + value + "}\n" + R"({"frame":2,"offset":)" +
                                  second_offset + R"(,"value":)" + value + "}\n")
        << framed.out.substr(0, 300);

    const auto reencoded = test::run({tool, "--framed", "--reencode", "exec", capture});
    EXPECT_EQ(reencoded.status, 0) << reencoded.err;
    EXPECT_TRUE(reencoded.out == frame(record) + frame(record));
    // The same bytes as the JSON writer gives in process, into a buffer over a string.
    std::string in_process;
    {
        output::buffer out(in_process);
        dump::write_json(out, *quarvel::asn::exec_view_of_str(record), {});
    }
    EXPECT_TRUE(in_process == value);
}

// One console line of 32 MiB of control bytes: its JSON is six times as long, and is never held whole.
TEST(JsonStream, MemoryStaysInProportionToTheInput) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow and quarantine would dominate the figure";
#endif
    test::temp_dir dir;
    const std::string record = quarvel::asn::exec_to_str(record_with_console({{7, std::string(32 << 20, '\x01')}}));
    const auto file = dir.file("rec.der", record);
    const auto capture = dir.file("capture", frame(record));
    const long input_kib = static_cast<long>(record.size() / 1024);
    for (const auto& args : std::vector<std::string>{"--json exec \"$1\"", "--framed --json exec \"$2\""}) {
        const auto r = test::run({"/bin/sh", "-c", "exec \"$0\" " + args + " >/dev/null", tool, file, capture});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_LT(r.max_rss_kib, 2 * input_kib + 64 * 1024) << args << ": peak " << r.max_rss_kib << " KiB";
    }
}

struct child_outcome {
    int status = -1;  // the exit status, or 128 + signal number
    std::string err;
};

// Runs the tool as a shell starts it (SIGPIPE at its default) with standard output on a pipe whose reader
// takes `read_before_leaving` octets, then goes away.
child_outcome run_with_reader_leaving(const test::temp_dir& dir, const std::vector<std::string>& args,
                                      std::size_t read_before_leaving) {
    const std::string err_path = dir.path + "/stderr";
    int fds[2];
    if (::pipe(fds) != 0) return {};
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (err < 0) return {};
    std::vector<std::string> argv{tool};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = test::spawn(argv, {.out = fds[1], .err = err, .prepare = [&] {
                                             ::signal(SIGPIPE, SIG_DFL);
                                             ::close(fds[0]);
                                         }});
    ::close(err);
    if (pid < 0) return {};
    ::close(fds[1]);
    std::string got(read_before_leaving, '\0');
    for (std::size_t have = 0; have < got.size();) {
        const ssize_t n = ::read(fds[0], got.data() + have, got.size() - have);
        if (n <= 0) break;
        have += static_cast<std::size_t>(n);
    }
    ::close(fds[0]);
    const int status = test::wait_for(pid);
    return {status, test::read_file(err_path)};
}

// As quarvel-inspect: a reader that goes away ends the run with status 124 and without a word, in every
// form, where SIGPIPE used to end the process.
TEST(ClosedOutput, AReaderThatGoesAwayEndsTheRunQuietly) {
    test::temp_dir dir;
    // Every output below is far larger than a pipe holds.
    std::string capture;
    for (int i = 0; i < 20'000; ++i) capture += frame(hex("B2 02 05 00"));
    const auto frames = dir.file("capture", capture);
    quarvel::state dropped;
    for (int i = 0; i < 5'000; ++i) dropped.push_back({quarvel::state_item::Dropped_platform{"platform-" + std::to_string(i)}});
    const auto state = dir.file("state.der", quarvel::asn::state_to_str(dropped));
    const auto record =
        dir.file("rec.der", quarvel::asn::exec_to_str(record_with_console({{7, std::string(200'000, '\x01')}})));

    const std::vector<std::vector<std::string>> runs{
        {"--framed", "cmd", frames},   {"--framed", "--json", "cmd", frames}, {"--framed", "--reencode", "cmd", frames},
        {"--json", "exec", record},    {"state", state},                      {"--reencode", "state", state},
        {"--json", "state", state},
    };
    for (const auto& args : runs) {
        for (const std::size_t read : {std::size_t{0}, std::size_t{1}}) {
            SCOPED_TRACE(testing::PrintToString(args) + " after " + std::to_string(read) + " octets");
            const auto r = run_with_reader_leaving(dir, args, read);
            EXPECT_EQ(r.status, 124);
            EXPECT_EQ(r.err, "");
        }
    }
}

// A capture of many small frames leaves in large writes: into a file its output is the same bytes, and
// a live pipe is still followed frame by frame (Framed.APipeIsFollowedFrameByFrame).
TEST(ClosedOutput, ManyFramesIntoAFileAreTheSameBytes) {
    test::temp_dir dir;
    std::string capture, expected;
    for (int i = 0; i < 5'000; ++i) {
        expected += "frame " + std::to_string(i + 1) + " at offset " + std::to_string(capture.size()) + "\nsuccess\n";
        capture += frame(hex("B2 02 05 00"));
    }
    const auto frames = dir.file("capture", capture);
    const auto r = test::run({"/bin/sh", "-c", "exec \"$0\" --framed cmd \"$1\" >\"$2\"", tool, frames, dir.path + "/out"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(test::read_file(dir.path + "/out") == expected);
}

// Input that never ends is read as far as its first element reaches (and one octet more): the run ends at
// once with the decoder's message for those octets. The address space is limited so that reading on
// would end in status 125 instead of taking the machine's memory.
TEST(EndlessInput, TheFirstElementsHeaderBoundsTheRead) {
    test::temp_dir dir;
    const std::string yes_read = "y\ny\ny\ny\ny\ny\ny";  // 79 0A: 10 octets of contents, then one more
    struct case_ {
        std::string command;
        std::string message;
    };
    // The decoder's message and where its fault lies, as quarvel-dump says them.
    const auto said = [](const auto& located) { return located.error().message + ' ' + quarvel::asn::where(located.error()); };
    const std::string trailing = "trailing bytes at offset " + std::to_string(test::read_file(sample).size());
    const std::vector<case_> cases{
        {"yes 2>/dev/null | exec \"$0\" state -", said(quarvel::asn::state_of_str_located(yes_read))},
        {"yes 2>/dev/null | exec \"$0\" cmd -", said(quarvel::asn::cmd_of_str_located(yes_read))},
        {"yes 2>/dev/null | exec \"$0\" --json exec -", said(quarvel::asn::exec_of_str_located(yes_read))},
        {"yes 2>/dev/null | exec \"$0\" --reencode state -", said(quarvel::asn::state_of_str_located(yes_read))},
        {"exec \"$0\" exec /dev/zero", said(quarvel::asn::exec_of_str_located(std::string(3, '\0')))},
        {"exec \"$0\" --json state /dev/zero", said(quarvel::asn::state_of_str_located(std::string(3, '\0')))},
        {"(cat \"$1\"; yes 2>/dev/null) | exec \"$0\" exec -", trailing},
        {"(cat \"$1\"; cat /dev/zero 2>/dev/null) | exec \"$0\" --json exec -", trailing},
    };
#if defined(__SANITIZE_ADDRESS__)
    const std::string limit;
#else
    const std::string limit = "ulimit -v 2000000; ";
#endif
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const auto r = test::run({"/bin/sh", "-c", limit + c.command + " >\"$2\"", tool, sample, dir.path + "/out"});
        EXPECT_EQ(r.status, 124);
        EXPECT_EQ(r.err, cli::message_line("quarvel-dump", c.message) + "\n");
        EXPECT_EQ(test::read_file(dir.path + "/out"), "");
    }
}

// Valid input through a pipe prints what the file prints; a pipe cut short, the file's message.
TEST(EndlessInput, APipeReadsAsTheFile) {
    test::temp_dir dir;
    const std::string bytes = test::read_file(sample);
    const auto cut = dir.file("cut.der", bytes.substr(0, 30));
    for (const auto& args : std::vector<std::vector<std::string>>{{"exec"}, {"--json", "exec"}, {"--reencode", "exec"}}) {
        SCOPED_TRACE(testing::PrintToString(args));
        auto from_file = args, from_pipe = args, cut_file = args;
        from_file.insert(from_file.begin(), tool);
        from_file.push_back(sample);
        from_pipe.insert(from_pipe.begin(), tool);
        from_pipe.push_back("-");
        cut_file.insert(cut_file.begin(), tool);
        cut_file.push_back(cut);
        test::run_options whole, short_input;
        whole.input = bytes;
        short_input.input = bytes.substr(0, 30);

        const auto file_run = test::run(from_file);
        const auto pipe_run = test::run(from_pipe, whole);
        EXPECT_EQ(file_run.status, 0);
        EXPECT_TRUE(pipe_run.out == file_run.out);
        EXPECT_EQ(pipe_run.err, file_run.err);
        EXPECT_EQ(pipe_run.status, 0);

        const auto cut_run = test::run(cut_file);
        const auto cut_pipe_run = test::run(from_pipe, short_input);
        EXPECT_EQ(cut_run.status, 124);
        EXPECT_EQ(cut_pipe_run.status, 124);
        EXPECT_EQ(cut_pipe_run.err, cut_run.err);
        EXPECT_NE(cut_run.err, "");
    }
}

}  // namespace
