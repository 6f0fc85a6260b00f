// quarvel-dump seen from outside: its text forms, re-encoding (migration of older forms), warnings on
// standard error, decode failures and its command line.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <quarvel/asn.hpp>
#include <quarvel/version.hpp>

#include "cli/eval.hpp"
#include "der/hex.hpp"
#include "support/process.hpp"

namespace {

const std::string tool = QUARVEL_DUMP_BINARY;

using der_test::hex;

// Schedule (next 2024-01-02T03:04:05Z, daily, script job a/s/p) then Dropped_platform x: 47 octets.
const std::string state_example =
    "30 2D A3 26 30 24 18 0F 32 30 32 34 30 31 30 32 30 33 30 34 30 35 5A A1 02 05 00 A0 0D 30 0B 0C 01 61 0C 01 "
    "73 30 00 0C 01 70 A5 03 0C 01 78";

// Retired items and the older schedule form.
const std::string retired_script_job_item = "A0 0D 30 0B 0C 01 61 0C 01 73 30 00 0C 01 70";  // [0]
const std::string old_schedule_item =  // [1]: UTCTime 240102030405Z, daily, script job a/s/p without [0]
    "A1 22 30 20 17 0D 32 34 30 31 30 32 30 33 30 34 30 35 5A A1 02 05 00 30 0B 0C 01 61 0C 01 73 30 00 0C 01 70";
const std::string retired_job_item = "A2 0F A0 0D 30 0B 0C 01 61 0C 01 73 30 00 0C 01 70";  // [2]
// The [1] item in the current form, alone in a state: 42 octets.
const std::string migrated_schedule =
    "30 28 A3 26 30 24 18 0F 32 30 32 34 30 31 30 32 30 33 30 34 30 35 5A A1 02 05 00 A0 0D 30 0B 0C 01 61 0C 01 "
    "73 30 00 0C 01 70";

const std::string script_job_warning = "quarvel-dump: [WARNING] script job for queue no longer supported, ignoring\n";
const std::string job_warning = "quarvel-dump: [WARNING] job for queue no longer supported, ignoring\n";
const std::string schedule_line = "schedule name a on p next 2024-01-02T03:04:05-00:00, scheduled daily\n";

quarvel::timestamp at(int year, int month, int day, int hour, int minute, int second) {
    return quarvel::der::from_civil({year, month, day, hour, minute, second});
}

// The overview of the printing rules' example: one dropped platform, two schedule items, one queue of
// three jobs, one running execution.
quarvel::cmd info_reply_example() {
    quarvel::info i;
    i.dropped_platforms = {"arm64-old"};
    i.schedule = {
        {at(2024, 5, 1, 12, 0, 0), quarvel::period::Daily, quarvel::script_job{"nightly", "freebsd-14", "make"}},
        {at(2024, 5, 2, 0, 0, 0), quarvel::period::Weekly, quarvel::vesk_build_job{"pkg-hello", "hello"}},
    };
    i.queues = {{"freebsd-14",
                 {quarvel::script_job{"job-a", "freebsd-14", "a"}, quarvel::script_job{"job-b", "freebsd-14", "b"},
                  quarvel::script_job{"job-c", "freebsd-14", "c"}}}};
    quarvel::uuid u;
    const std::uint8_t octets[16] = {0x6b, 0xa7, 0xb8, 0x10, 0x9d, 0xad, 0x11, 0xd1,
                                     0x80, 0xb4, 0x00, 0xc0, 0x4f, 0xd4, 0x30, 0xc8};
    std::copy(std::begin(octets), std::end(octets), u.octets.begin());
    i.running = {{at(2024, 5, 1, 12, 0, 5), u, {"nightly", "freebsd-14", "make"}}};
    return quarvel::cmd{quarvel::cmd::Info_reply{i}};
}

const std::string info_reply_text =
    "info:\n"
    "dropped platforms: arm64-old\n"
    "schedule:\n"
    "name nightly on freebsd-14 next 2024-05-01T12:00:00-00:00, scheduled daily;\n"
    "name pkg-hello, opam hello next 2024-05-02T00:00:00-00:00, scheduled weekly\n"
    "queues:\n"
    "freebsd-14: name job-a on freebsd-14; name job-b on freebsd-14;\n"
    "name job-c on freebsd-14\n"
    "running:\n"
    "name nightly on freebsd-14,6ba7b810-9dad-11d1-80b4-00c04fd430c8,\n"
    "2024-05-01T12:00:05-00:00\n"
    "\n";

void expect_outcome(const test::outcome& r, int status, const std::string& out, const std::string& err,
                    const std::string& what) {
    EXPECT_EQ(r.status, status) << what;
    EXPECT_EQ(r.out, out) << what;
    EXPECT_EQ(r.err, err) << what;
}

TEST(Dump, StateExamplePrintedAndReencodedByteForByte) {
    test::temp_dir dir;
    const auto bytes = hex(state_example);
    ASSERT_EQ(bytes.size(), 47u);
    const auto file = dir.file("state.der", bytes);
    expect_outcome(test::run({tool, "state", file}), 0,
                   "schedule name a on p next 2024-01-02T03:04:05-00:00, scheduled daily;\n"
                   "dropped platform x\n",
                   "", "printed");
    expect_outcome(test::run({tool, "--reencode", "state", file}), 0, bytes, "", "re-encoded");
}

TEST(Dump, EmptyStatePrintsOneEmptyLine) {
    test::temp_dir dir;
    const auto file = dir.file("empty.der", hex("30 00"));
    expect_outcome(test::run({tool, "state", file}), 0, "\n", "", "printed");
    expect_outcome(test::run({tool, "state", "--reencode", file}), 0, hex("30 00"), "", "re-encoded");
}

TEST(Dump, OldStateMigratesWithOneWarningPerDroppedItemInInputOrder) {
    struct case_ {
        std::string items;
        std::string warnings;
    };
    const std::vector<case_> cases{
        {retired_script_job_item + old_schedule_item + retired_job_item, script_job_warning + job_warning},
        {retired_job_item + old_schedule_item + retired_script_job_item, job_warning + script_job_warning},
    };
    test::temp_dir dir;
    for (const auto& c : cases) {
        const auto items = hex(c.items);
        ASSERT_LT(items.size(), 128u);
        const auto file = dir.file("old.der", std::string{'\x30', static_cast<char>(items.size())} + items);
        expect_outcome(test::run({tool, "--reencode", "state", file}), 0, hex(migrated_schedule), c.warnings,
                       "re-encoded " + c.items);
        expect_outcome(test::run({tool, "state", file}), 0, schedule_line, c.warnings, "printed " + c.items);
    }
}

TEST(Dump, QuietSilencesWarningsButNotTheDump) {
    test::temp_dir dir;
    const auto items = hex(retired_script_job_item + old_schedule_item + retired_job_item);
    const auto file = dir.file("old.der", std::string{'\x30', static_cast<char>(items.size())} + items);
    for (const auto& level : std::vector<std::string>{"-q", "--verbosity=quiet", "--verbosity=error"}) {
        expect_outcome(test::run({tool, level, "--reencode", "state", file}), 0, hex(migrated_schedule), "",
                       level + " re-encoded");
        expect_outcome(test::run({tool, level, "state", file}), 0, schedule_line, "", level + " printed");
    }
}

TEST(Dump, WarningsAreStyledForStandardErrorOnly) {
    test::temp_dir dir;
    const auto items = hex(retired_job_item + old_schedule_item);
    const auto file = dir.file("old.der", std::string{'\x30', static_cast<char>(items.size())} + items);
    expect_outcome(test::run({tool, "--color=always", "state", file}), 0, schedule_line,
                   "quarvel-dump: [\x1b[0;33mWARNING\x1b[0m] job for queue no longer supported, ignoring\n",
                   "--color=always");
}

TEST(Dump, InfoReplyPrintsTheOverviewFollowedByAnEmptyLine) {
    test::temp_dir dir;
    const auto bytes = quarvel::asn::cmd_to_str(info_reply_example());
    const auto file = dir.file("info.der", bytes);
    expect_outcome(test::run({tool, "cmd", file}), 0, info_reply_text, "", "printed");
    expect_outcome(test::run({tool, "--reencode", "cmd", file}), 0, bytes, "", "re-encoded");
}

TEST(Dump, CommandsPrintedAndReencodedInTheCurrentForm) {
    struct case_ {
        std::string octets, text, reencoded;
    };
    const std::vector<case_> cases{
        {"AE 09 30 07 A0 02 05 00 02 01 0D", "client hello client 13\n", "AE 09 30 07 A0 02 05 00 02 01 0D"},
        {"B2 02 05 00", "success\n", "B2 02 05 00"},
        // The older form of Execute is written in the newer one.
        {"AB 03 0C 01 61", "execute a on any platform\n", "B4 05 30 03 0C 01 61"},
        {"A4 1D 30 1B 0C 10 00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF 0C 02 68 69 02 03 4C 4B 40",
         "[00112233-4455-6677-8899-aabbccddeeff] 5.000ms: \"hi\"\n",
         "A4 1D 30 1B 0C 10 00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF 0C 02 68 69 02 03 4C 4B 40"},
    };
    test::temp_dir dir;
    for (const auto& c : cases) {
        const auto file = dir.file("cmd.der", hex(c.octets));
        expect_outcome(test::run({tool, "cmd", file}), 0, c.text, "", "printed " + c.octets);
        expect_outcome(test::run({tool, "cmd", file, "--reencode"}), 0, hex(c.reencoded), "",
                       "re-encoded " + c.octets);
    }
}

// The message is set in the command-line layer's box (lines of at most 78 columns), without a usage line:
// the decoder's message, then where in the file the fault lies.
TEST(Dump, DecodeFailuresPrintTheDecodersMessageAndWhere) {
    struct case_ {
        std::string kind, octets, message;
    };
    const std::vector<case_> cases{
        {"cmd", "B2 02 05 00 00", "trailing bytes at offset 4"},
        {"cmd", "A8 02 05 00", "retired command at offset 0 (command)"},
        {"cmd", "A0 03 02 01 00", "retired command at offset 0 (command)"},
        {"cmd", "", quarvel::asn::cmd_of_str("").error() + " at offset 0"},
        {"cmd", "B7 02 05 00", quarvel::asn::cmd_of_str(hex("B7 02 05 00")).error() + " at offset 0 (command)"},
        {"state", "30 00 00", "trailing bytes at offset 2"},
        {"state", "30 02 A6 00", quarvel::asn::state_of_str(hex("30 02 A6 00")).error() + " at offset 2 (state[0])"},
        // A command is not a state.
        {"state", "B2 02 05 00", quarvel::asn::state_of_str(hex("B2 02 05 00")).error() + " at offset 0 (state)"},
    };
    test::temp_dir dir;
    for (const auto& c : cases) {
        const auto file = dir.file("bad.der", hex(c.octets));
        for (const auto& reencode : std::vector<std::string>{"--color=never", "--reencode"})
            expect_outcome(test::run({tool, reencode, c.kind, file}), 124, "",
                           cli::message_line("quarvel-dump", c.message) + "\n", c.kind + " " + c.octets + " " + reencode);
    }
}

TEST(Dump, WarningsBeforeAFailureStayOnStandardError) {
    test::temp_dir dir;
    const auto items = hex(retired_script_job_item);
    const auto file = dir.file("old.der", std::string{'\x30', static_cast<char>(items.size())} + items + '\0');
    expect_outcome(test::run({tool, "--reencode", "state", file}), 124, "",
                   script_job_warning + "quarvel-dump: trailing bytes at offset 17\n", "trailing bytes after a retired item");
}

TEST(Dump, ReadsStandardInputForADash) {
    test::run_options state_input;
    state_input.input = hex(state_example);
    expect_outcome(test::run({tool, "--reencode", "state", "-"}, state_input), 0, hex(state_example), "", "state");
    test::run_options cmd_input;
    cmd_input.input = hex("B0 03 0C 01 70");
    expect_outcome(test::run({tool, "cmd", "-"}, cmd_input), 0, "job request on p\n", "", "cmd");
}

TEST(Dump, CommandLineErrors) {
    test::temp_dir dir;
    const std::string file = "cmd.der";
    dir.file(file, hex("B2 02 05 00"));
    const std::string usage = "Usage: quarvel-dump [--help] [OPTION]… KIND FILE…\n";
    struct case_ {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<case_> cases{
        // Too long for one line of 78 columns: the rest continues under the message's first column.
        {{"stat", file},
         "KIND argument: invalid value 'stat', expected one of 'state',\n              'cmd', 'exec' or 'der'"},
        {{"Cmd", "missing"},
         "KIND argument: invalid value 'Cmd', expected one of 'state',\n              'cmd', 'exec' or 'der'"},
        {{"cmd", "missing"}, "FILE argument: no 'missing' file or directory"},
        {{"cmd"}, "required argument FILE is missing"},
        {{"cmd", file, "--reencode", "--reencode"}, "option '--reencode' cannot be repeated"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv{tool};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        test::run_options options;
        options.cwd = dir.path;
        expect_outcome(test::run(argv, options), 124, "", usage + "quarvel-dump: " + c.message + "\n", c.message);
    }
}

TEST(Dump, OptionsThatDoNotGoTogether) {
    test::temp_dir dir;
    const auto file = dir.file("cmd.der", hex("B2 02 05 00"));
    expect_outcome(test::run({tool, "--json", "--reencode", "cmd", file}), 124, "",
                   cli::message_line("quarvel-dump", "options '--json' and '--reencode' cannot be present at the same time") +
                       "\n",
                   "json");
    expect_outcome(test::run({tool, "--contents", "cmd", file}), 124, "",
                   "quarvel-dump: option '--contents' needs '--json'\n", "contents");
}

TEST(Dump, ManualEndsWithTheJsonSchemaTheEnvironmentAndExamples) {
    const auto r = test::run({tool, "--help=plain"});
    ASSERT_EQ(r.status, 0);
    const auto exit_status = r.out.find("\nEXIT STATUS\n");
    const auto json = r.out.find("\nJSON OUTPUT\n");
    const auto environment = r.out.find("\nENVIRONMENT\n       QUARVEL_LEGACY_PREFIXES\n");
    const auto examples = r.out.find("\nEXAMPLES\n       quarvel-dump exec samples/hello.der\n");
    ASSERT_NE(exit_status, std::string::npos);
    ASSERT_NE(examples, std::string::npos) << r.out;
    EXPECT_LT(exit_status, json);
    EXPECT_LT(json, environment);
    EXPECT_LT(environment, examples);
}

TEST(Dump, VersionIsTheLibrarysVersionLine) {
    expect_outcome(test::run({tool, "--version"}), 0, quarvel::version + "\n", "", "--version");
}

TEST(Dump, AFailedWriteToStandardOutputIsReported) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    test::temp_dir dir;
    const auto file = dir.file("state.der", hex(state_example));
    for (const auto& mode : std::vector<std::string>{"", "--reencode "}) {
        const auto r = test::run({"/bin/sh", "-c", "exec \"$0\" " + mode + "state \"$1\" >/dev/full", tool, file});
        expect_outcome(r, 124, "", "quarvel-dump: standard output: No space left on device\n", mode);
    }
}

// A file-size limit on a redirected output, under a shell that leaves SIGXFSZ at its default disposition:
// the write fails with EFBIG and the run says so, after what fitted, instead of the signal ending it.
TEST(Dump, AFileSizeLimitOnStandardOutputIsReported) {
    test::temp_dir dir;
    quarvel::state state;
    for (int i = 0; i < 200; ++i) state.push_back({quarvel::state_item::Dropped_platform{"platform-" + std::to_string(i)}});
    const auto file = dir.file("state.der", quarvel::asn::state_to_str(state));
    const std::string printed = dir.path + "/printed";
    struct sigaction former {}, default_action {};
    default_action.sa_handler = SIG_DFL;
    ASSERT_EQ(::sigaction(SIGXFSZ, &default_action, &former), 0);
    for (const auto& mode : std::vector<std::string>{"", "--json ", "--reencode "}) {
        const std::string command = "exec \"$0\" " + mode + "state \"$1\" >\"$2\"";
        const auto whole = test::run({"/bin/sh", "-c", command, tool, file, printed});
        ASSERT_EQ(whole.status, 0) << mode << whole.err;
        const std::string complete = test::read_file(printed);
        ASSERT_GT(complete.size(), 2048u) << mode;
        const auto r = test::run({"/bin/sh", "-c", "ulimit -f 1; " + command, tool, file, printed});
        expect_outcome(r, 124, "", "quarvel-dump: standard output: File too large\n", mode);
        const std::string written = test::read_file(printed);
        EXPECT_GT(written.size(), 0u) << mode;
        EXPECT_LT(written.size(), complete.size()) << mode;
        EXPECT_TRUE(complete.starts_with(written)) << mode;
    }
    ::sigaction(SIGXFSZ, &former, nullptr);
}

}  // namespace
