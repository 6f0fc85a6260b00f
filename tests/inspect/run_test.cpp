#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <pty.h>
#include <termios.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include <quarvel/asn.hpp>

#include "transcript_lines.hpp"
#include "log_output/log_setup.hpp"
#include "record_text/job_line.hpp"
#include "support/process.hpp"

namespace {

const std::string tool = QUARVEL_INSPECT_BINARY;

// The record of the worked example: job a/s/p, one console line "hi" at 5 ms, one second from
// 2024-01-02T03:04:05, exited 0, out.txt holding "x".
quarvel::execution_record worked_example() {
    quarvel::execution_record r;
    r.job = {"a", "p", "s"};
    for (int i = 0; i < 16; ++i) r.uuid.octets[i] = static_cast<std::uint8_t>(i * 0x11);
    r.console = {{5'000'000, "hi"}};
    r.started = quarvel::der::from_civil({2024, 1, 2, 3, 4, 5});
    r.finished = quarvel::der::from_civil({2024, 1, 2, 3, 4, 6});
    r.result = quarvel::Exited{0};
    r.output = {{"out.txt", "x"}};
    return r;
}

std::string record_file(const test::temp_dir& dir, const quarvel::execution_record& r,
                        const std::string& name = "rec.der") {
    return dir.file(name, quarvel::asn::exec_to_str(r));
}

const std::string six_lines =
    "a on p\n"
    "started at 2024-01-02T03:04:05-00:00\n"
    "5ms: \"hi\"\n"
    "exited 0\n"
    "stopped at 2024-01-02T03:04:06-00:00\n"
    "s\n";

TEST(Run, WorkedExamplePrintsSixLinesInTheFixedOrder) {
    test::temp_dir dir;
    const auto bytes = quarvel::asn::exec_to_str(worked_example());
    ASSERT_EQ(bytes.size(), 105u);
    const auto rec = dir.file("rec.der", bytes);
    for (const auto& flags : std::vector<std::vector<std::string>>{
             {"--job", "--console", "--script"}, {"--script", "--console", "--job"}, {"--console", "--script", "--job"}}) {
        std::vector<std::string> argv{tool};
        argv.insert(argv.end(), flags.begin(), flags.end());
        argv.push_back(rec);
        const auto r = test::run(argv);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, six_lines) << flags[0];
        EXPECT_EQ(r.err, "");
    }
}

TEST(Run, EachFlagAloneAndNoFlagAtAll) {
    test::temp_dir dir;
    const auto rec = record_file(dir, worked_example());
    EXPECT_EQ(test::run({tool, "--job", rec}).out, "a on p\n");
    EXPECT_EQ(test::run({tool, "--script", rec}).out, "s\n");
    const auto nothing = test::run({tool, rec});
    EXPECT_EQ(nothing.status, 0);
    EXPECT_EQ(nothing.out, "");
}

TEST(Run, ReadsTheRecordFromStandardInput) {
    test::run_options options;
    options.input = quarvel::asn::exec_to_str(worked_example());
    const auto r = test::run({tool, "--job", "-"}, options);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "a on p\n");
}

TEST(Run, ScriptEndingInALineFeedIsFollowedByAnEmptyLine) {
    test::temp_dir dir;
    auto record = worked_example();
    record.job.script = "echo hi\n";
    const auto r = test::run({tool, "--script", record_file(dir, record)});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "echo hi\n\n");
}

TEST(Run, QuietPrintsNothingButStillExports) {
    test::temp_dir dir;
    const auto rec = record_file(dir, worked_example());
    std::filesystem::create_directory(dir.path + "/out");
    const auto r = test::run({tool, "-q", "--job", "--console", "--script", "--output", dir.path + "/out", rec});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(test::read_file(dir.path + "/out/out.txt"), "x");
}

TEST(Run, ColorAlwaysStylesWarningsButNeverAppLines) {
    test::temp_dir dir;
    auto record = worked_example();
    record.output = {{"/abs.txt", "y"}};
    const auto rec = record_file(dir, record);
    std::filesystem::create_directory(dir.path + "/out");
    const auto r = test::run({tool, "--color=always", "--job", "--console", "--output", dir.path + "/out", rec});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "a on p\n"
              "started at 2024-01-02T03:04:05-00:00\n"
              "5ms: \"hi\"\n"
              "exited 0\n"
              "stopped at 2024-01-02T03:04:06-00:00\n"
              "quarvel-inspect: [\x1b[0;33mWARNING\x1b[0m] removing leading \"/\" from output file \"/abs.txt\"\n");
    EXPECT_EQ(test::read_file(dir.path + "/out/abs.txt"), "y");
}

TEST(Run, ExportConfinesEveryEntryToTheDirectory) {
    test::temp_dir dir;
    auto record = worked_example();
    record.output = {{"../escape.txt", "1"}, {"sub/in.txt", "2"}, {"sub/../../escape2.txt", "3"}};
    const auto rec = record_file(dir, record);
    std::filesystem::create_directory(dir.path + "/out");
    const auto r = test::run({tool, "--output", dir.path + "/out", rec});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "quarvel-inspect: [WARNING] refusing output file \"../escape.txt\": its path has a \"..\" segment\n"
              "quarvel-inspect: [WARNING] refusing output file \"sub/../../escape2.txt\": its path has a \"..\" "
              "segment\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path + "/escape.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir.path + "/escape2.txt"));
    EXPECT_EQ(test::read_file(dir.path + "/out/sub/in.txt"), "2");
}

TEST(Run, TrailingBytesFailWithStatus124AndPrintNothing) {
    test::temp_dir dir;
    const auto rec = dir.file("rec.der", quarvel::asn::exec_to_str(worked_example()) + std::string(1, '\0'));
    const auto r = test::run({tool, "--job", "--console", "--script", rec});
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "quarvel-inspect: trailing bytes\n");
}

TEST(Run, DecoderMessagesAreShownWhole) {
    test::temp_dir dir;
    // The empty input's message ends with "): " and keeps its last space.
    const auto empty = test::run({tool, "--job", dir.file("empty.der", "")});
    EXPECT_EQ(empty.status, 124);
    EXPECT_EQ(empty.out, "");
    EXPECT_EQ(empty.err, "quarvel-inspect: Unexpected EOF (msg index out of bounds): \n");

    // A truncated record dumps the whole input, wrapped in the message box at the name's column.
    const auto cut = quarvel::asn::exec_to_str(worked_example()).substr(0, 40);
    const auto truncated = test::run({tool, dir.file("cut.der", cut)});
    EXPECT_EQ(truncated.status, 124);
    EXPECT_EQ(truncated.err,
              "quarvel-inspect: Unexpected EOF (msg String.sub / Bytes.sub): a0673065300b0c01\n"
              "                 610c017330000c01 700c100011223344 5566778899aabbcc\n"
              "                 ddeeff300b300902\n");
}

TEST(Run, AnOutputPathWithANulByteRefusesTheWholeRecord) {
    test::temp_dir dir;
    auto r = worked_example();
    r.output.push_back({std::string("a\0b", 3), "x"});
    const auto run = test::run({tool, "--job", "--output", dir.path, record_file(dir, r)});
    EXPECT_EQ(run.status, 124);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "quarvel-inspect: \"a\\x00b\": invalid path\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path + "/out.txt"));
}

TEST(Run, LargeBinaryConsoleLinesAreEscapedWithMemoryInProportion) {
    // 1,000 lines of 64 KiB of 0xFF: 64 MiB of record, 256 MiB of escaped transcript.
    test::temp_dir dir;
    auto r = worked_example();
    const std::string line(64 * 1024, '\xff');
    r.console.assign(1000, quarvel::console_line{7'000'000, line});
    const auto rec = record_file(dir, r);
    const auto run = test::run({tool, "--console", rec});
    ASSERT_EQ(run.status, 0) << run.err;

    std::string escaped = "7ms: \"";
    for (std::size_t i = 0; i < line.size(); ++i) escaped += "\\255";
    escaped += "\"\n";
    ASSERT_EQ(run.out.size(), 37 + 1000 * escaped.size() + 9 + 37);
    std::size_t at = run.out.find('\n') + 1;
    for (int i = 0; i < 1000; ++i, at += escaped.size())
        ASSERT_EQ(run.out.compare(at, escaped.size(), escaped), 0) << "line " << i;

#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's shadow and quarantine would dominate the figure
    // The record is held once as bytes and once as the model, plus one line's text at a time.
    const long record_kib = static_cast<long>(std::filesystem::file_size(rec) / 1024);
    EXPECT_LT(run.max_rss_kib, 3 * record_kib + 64 * 1024) << "peak " << run.max_rss_kib << " KiB";
#endif
}

TEST(Run, OutputThatCannotBeWrittenIsAFailure) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    test::temp_dir dir;
    const auto rec = record_file(dir, worked_example());
    const auto r = test::run({"/bin/sh", "-c", "exec \"$0\" --job \"$1\" > /dev/full", tool, rec});
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.err, "quarvel-inspect: standard output: No space left on device\n");
    // Nothing to print: nothing lost.
    EXPECT_EQ(test::run({"/bin/sh", "-c", "exec \"$0\" \"$1\" > /dev/full", tool, rec}).status, 0);
}

// Runs the tool with standard output and standard error on the slave side of a pseudo-terminal in raw
// mode (no line-end translation), and returns what reached the terminal and the exit status.
std::pair<std::string, int> run_on_terminal(const std::vector<std::string>& argv) {
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {"", -1};
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    const pid_t child = test::spawn(argv, {.out = slave, .err = slave, .prepare = [&] {
                                                ::setsid();
                                                ::close(master);
                                                ::unsetenv("TERM");
                                            }});
    ::close(slave);
    std::string out;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // EIO once the child's side is closed
        }
    }
    ::close(master);
    return {out, test::wait_for(child)};
}

// The printed lines are the same bytes whether they leave one by one (a terminal) or in large writes (a
// pipe), also when they are many more than one write holds.
TEST(Run, PrintedBytesAreTheSameOnAPipeAndOnATerminal) {
    test::temp_dir dir;
    auto r = worked_example();
    r.job.script = "echo \"$x\"\nexit 0\n";
    r.console.clear();
    for (int i = 0; i < 5000; ++i) {
        std::string data;
        for (int k = 0; k < i % 97; ++k) data += static_cast<char>((i * 31 + k * 7) % 256);
        r.console.push_back({static_cast<std::int64_t>(i) * 1'234'567, data});
    }
    const auto rec = record_file(dir, r);

    std::string expected = record_text::job_line(r.job) + "\n";
    for (const auto& line : test::transcript_lines(r.console, r.started, r.finished, r.result)) expected += line + "\n";
    expected += r.job.script + "\n";
    ASSERT_GT(expected.size(), 4 * log_output::output_batch_size);

    const auto piped = test::run({tool, "--job", "--console", "--script", rec});
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err, "");
    EXPECT_TRUE(piped.out == expected) << "the piped output differs";

    const auto [on_terminal, status] = run_on_terminal({tool, "--job", "--console", "--script", rec});
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(on_terminal == expected) << "the output on a terminal differs: " << on_terminal.substr(0, 200);
}

// The pages of the file are given up as the output files are copied out of them: the peak is the record
// and a little, not the record and the whole file.
TEST(Run, BulkOutputFilesAreHeldOnceAtTheirPeak) {
    test::temp_dir dir;
    auto r = worked_example();
    r.output.clear();
    for (int i = 0; i < 16; ++i) r.output.push_back({"f" + std::to_string(i), std::string(4 << 20, static_cast<char>('a' + i))});
    const auto rec = record_file(dir, r);
    r.output.clear();
    const auto run = test::run({tool, "--job", rec});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "a on p\n");
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's shadow and quarantine would dominate the figure
    const long record_kib = static_cast<long>(std::filesystem::file_size(rec) / 1024);
    EXPECT_LT(run.max_rss_kib, record_kib * 5 / 4 + 8 * 1024) << "peak " << run.max_rss_kib << " KiB";
#endif
}

TEST(Spine, DirectoryAsFileFailsWithTheReasonAndStatus124) {
    test::temp_dir dir;
    auto r = test::run({tool, dir.path});
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "quarvel-inspect: " + dir.path + ": Is a directory\n");
}

TEST(Spine, UnreadableFileFailsWithTheReason) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    test::temp_dir dir;
    const auto path = dir.file("rec.der", "x");
    ::chmod(path.c_str(), 0);
    auto r = test::run({tool, path});
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.err, "quarvel-inspect: " + path + ": Permission denied\n");
}

}  // namespace
