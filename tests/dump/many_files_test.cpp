// quarvel-dump with several FILEs in one run: each file's output in its place (text after a heading, JSON
// lines that name their file, re-encoded frames as one capture), a file that fails said by name while the
// others go on, the status, the command line, and one FILE exactly as before.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <quarvel/asn.hpp>
#include <quarvel/framing.hpp>

#include "cli/eval.hpp"
#include "der/hex.hpp"
#include "dump/fixtures.hpp"
#include "support/process.hpp"

namespace {

using dump_test::frame;
using dump_test::prefix;
using dump_test::record_of;

const std::string tool = QUARVEL_DUMP_BINARY;

using der_test::hex;

std::string summary_of(const std::string& job) {
    return job + " on p\nuuid 00112233-4455-6677-8899-aabbccddeeff\nstarted at 2024-01-02T03:04:05-00:00\n"
                 "stopped at 2024-01-02T03:04:06-00:00\nduration 1.000s\nexited 0\nconsole 1 line, 2 bytes\n"
                 "output out.txt, 1 byte\n";
}

const std::string hello = hex("AE 09 30 07 A0 02 05 00 02 01 0D");  // client hello client 13
const std::string request = hex("B0 03 0C 01 70");                 // job request on p
const std::string old_execute = hex("AB 03 0C 01 61");             // execute a on any platform, older form
const std::string execute = hex("B4 05 30 03 0C 01 61");           // the same in the current form
const std::string success = hex("B2 02 05 00");
// A capture whose second frame (at offset 13) is cut short.
const std::string cut_capture = frame(request) + prefix(10) + "abcd";
const std::string cut_message = "frame 2 at offset 13: end of file after 4 of 10 payload octets";

std::string said(const std::string& message) { return cli::message_line("quarvel-dump", message) + "\n"; }

// The files every test reads, in one directory, named as a user would type them.
struct fixtures {
    test::temp_dir dir;
    fixtures() {
        dir.file("a.der", quarvel::asn::exec_to_str(record_of("a")));
        dir.file("b.der", quarvel::asn::exec_to_str(record_of("b")));
        dir.file("bad.der", quarvel::asn::exec_to_str(record_of("c")) + '\0');
        dir.file("dir/.keep", "");
        dir.file("success.der", success);
        dir.file("request.der", request);
        dir.file("x.state", hex("30 05 A5 03 0C 01 78"));  // dropped platform x
        dir.file("empty.state", hex("30 00"));
        // A retired item, dropped with a warning, before dropped platform x.
        dir.file("old.state", hex("30 14 A0 0D 30 0B 0C 01 61 0C 01 73 30 00 0C 01 70 A5 03 0C 01 78"));
        dir.file("one.frames", frame(hello) + frame(old_execute));
        dir.file("two.frames", frame(success));
        dir.file("cut.frames", cut_capture);
    }
    // The tool run in the directory.
    test::outcome run(const std::vector<std::string>& args, const std::string& input = {}) const {
        std::vector<std::string> argv{tool};
        argv.insert(argv.end(), args.begin(), args.end());
        test::run_options options;
        options.cwd = dir.path;
        options.input = input;
        return test::run(argv, options);
    }
    // The same with standard error sent where standard output goes, to see what comes where.
    test::outcome merged(const std::vector<std::string>& args) const {
        std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", tool};
        argv.insert(argv.end(), args.begin(), args.end());
        test::run_options options;
        options.cwd = dir.path;
        return test::run(argv, options);
    }
};

void expect_outcome(const test::outcome& r, int status, const std::string& out, const std::string& err) {
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.out, out);
    EXPECT_EQ(r.err, err);
}

TEST(ManyFiles, EachFilesTextFollowsItsHeadingInTheOrderGiven) {
    const fixtures f;
    expect_outcome(f.run({"exec", "b.der", "a.der", "b.der"}), 0,
                   "==> b.der <==\n" + summary_of("b") + "\n==> a.der <==\n" + summary_of("a") +
                       "\n==> b.der <==\n" + summary_of("b"),
                   "");
}

// Whatever the kind and form, each file's part of the output is what it writes alone, headed (text) or
// carrying its name (JSON), and encoded frames simply follow each other.
TEST(ManyFiles, EveryFormIsEachFileAsAloneInItsPlace) {
    enum class shape { headed, json, json_frames, concatenated };
    const struct {
        std::vector<std::string> options;
        std::string kind, first, second;
        shape joined;
    } cases[] = {
        {{}, "exec", "a.der", "b.der", shape::headed},
        {{}, "cmd", "success.der", "request.der", shape::headed},
        {{}, "state", "x.state", "empty.state", shape::headed},
        {{"--framed"}, "cmd", "one.frames", "two.frames", shape::headed},
        {{"--json"}, "exec", "a.der", "b.der", shape::json},
        {{"--json", "--contents"}, "exec", "b.der", "a.der", shape::json},
        {{"--json"}, "state", "x.state", "empty.state", shape::json},
        {{"--framed", "--json"}, "cmd", "one.frames", "two.frames", shape::json_frames},
        {{"--framed", "--reencode"}, "cmd", "one.frames", "two.frames", shape::concatenated},
    };
    const fixtures f;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.options) + " " + c.kind);
        const auto alone = [&](const std::string& file) {
            auto args = c.options;
            args.insert(args.end(), {c.kind, file});
            const auto r = f.run(args);
            EXPECT_EQ(r.status, 0) << r.err;
            return r.out;
        };
        const auto part = [&](const std::string& file, bool first) {
            const std::string out = alone(file);
            switch (c.joined) {
                case shape::headed: return (first ? "==> " : "\n==> ") + file + " <==\n" + out;
                case shape::concatenated: return out;
                case shape::json:
                case shape::json_frames: break;
            }
            std::string lines;
            for (std::size_t at = 0; at < out.size();) {
                const std::size_t end = out.find('\n', at);
                const std::string line = out.substr(at, end - at);
                lines += "{\"file\":\"" + file + "\",";
                lines += c.joined == shape::json ? "\"value\":" + line + "}\n" : line.substr(1) + "\n";
                at = end + 1;
            }
            return lines;
        };
        auto args = c.options;
        args.insert(args.end(), {c.kind, c.first, c.second});
        expect_outcome(f.run(args), 0, part(c.first, true) + part(c.second, false), "");
    }
}

// Seen where both streams go: each message right after what its file wrote before the fault, and the
// files after it still dumped.
TEST(ManyFiles, AFileThatFailsIsSaidByNameInItsPlaceAndTheOthersGoOn) {
    const fixtures f;
    const std::string json_a = f.run({"--json", "exec", "a.der"}).out;
    const std::string json_b = f.run({"--json", "exec", "b.der"}).out;
    const std::string trailing_c =
        "trailing bytes at offset " + std::to_string(quarvel::asn::exec_to_str(record_of("c")).size());
    const struct {
        std::vector<std::string> args;
        std::string out, err;
    } cases[] = {
        {{"exec", "a.der", "bad.der", "dir", "b.der"},
         "==> a.der <==\n" + summary_of("a") + "\n==> bad.der <==\n" + said("bad.der: " + trailing_c) +
             "\n==> dir <==\n" + said("dir: Is a directory") + "\n==> b.der <==\n" + summary_of("b"),
         said("bad.der: " + trailing_c) + said("dir: Is a directory")},
        // A FILE that fails has its line all the same: a table of the lines loses none.
        {{"--json", "exec", "bad.der", "a.der", "dir", "b.der"},
         "{\"file\":\"bad.der\",\"error\":\"trailing bytes\",\"offset\":" +
             std::to_string(quarvel::asn::exec_to_str(record_of("c")).size()) + "}\n" + said("bad.der: " + trailing_c) +
             "{\"file\":\"a.der\",\"value\":" + json_a.substr(0, json_a.size() - 1) + "}\n" +
             "{\"file\":\"dir\",\"error\":\"dir: Is a directory\"}\n" + said("dir: Is a directory") +
             "{\"file\":\"b.der\",\"value\":" + json_b.substr(0, json_b.size() - 1) + "}\n",
         said("bad.der: " + trailing_c) + said("dir: Is a directory")},
        // The frames before the bad one stay written.
        {{"--framed", "cmd", "cut.frames", "two.frames"},
         "==> cut.frames <==\nframe 1 at offset 0\njob request on p\n" + said("cut.frames: " + cut_message) +
             "\n==> two.frames <==\nframe 1 at offset 0\nsuccess\n",
         said("cut.frames: " + cut_message)},
        {{"--framed", "--json", "cmd", "cut.frames", "two.frames"},
         "{\"file\":\"cut.frames\",\"frame\":1,\"offset\":0,\"value\":{\"type\":\"job_request\",\"platform\":\"p\"}}\n" +
             std::string("{\"file\":\"cut.frames\",\"error\":\"") + cut_message + "\"}\n" + said("cut.frames: " + cut_message) +
             "{\"file\":\"two.frames\",\"frame\":1,\"offset\":0,\"value\":{\"type\":\"success\"}}\n",
         said("cut.frames: " + cut_message)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const auto together = f.merged(c.args);
        EXPECT_EQ(together.status, 124);
        EXPECT_EQ(together.out, c.out);
        const auto apart = f.run(c.args);
        EXPECT_EQ(apart.status, 124);
        EXPECT_EQ(apart.err, c.err);
    }
}

// A state's warnings, like errors, come after the heading of the file they are about.
TEST(ManyFiles, WarningsComeInTheirFilesPlace) {
    const fixtures f;
    const auto r = f.merged({"state", "x.state", "old.state"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "==> x.state <==\ndropped platform x\n\n==> old.state <==\n"
                     "quarvel-dump: [WARNING] script job for queue no longer supported, ignoring\n"
                     "dropped platform x\n");
}

// A file checked on the command line may be gone when its turn comes: the first FILE, a pipe, is read
// only after the command line was, and its writer removes the second before writing.
TEST(ManyFiles, AFileGoneBeforeItsTurnIsSaidAndTheRunGoesOn) {
    const fixtures f;
    const std::string fifo = f.dir.path + "/live";
    ASSERT_EQ(std::system(("mkfifo '" + fifo + "'").c_str()), 0);
    f.dir.file("gone.der", "");
    const char* const script = R"(
{ exec 3>live; rm gone.der; cat a.der >&3; } >/dev/null 2>&1 &
"$0" exec live gone.der b.der
status=$?
kill $! 2>/dev/null
exit $status
)";
    test::run_options options;
    options.cwd = f.dir.path;
    expect_outcome(test::run({"/bin/sh", "-c", script, tool}, options), 124,
                   "==> live <==\n" + summary_of("a") + "\n==> gone.der <==\n\n==> b.der <==\n" + summary_of("b"),
                   said("gone.der: No such file or directory"));
}

// The name is written as the JSON writer writes any text: a string when it is UTF-8, else base64.
TEST(ManyFiles, JsonLinesNameTheirFileAsAnyTextIsWritten) {
    const fixtures f;
    f.dir.file("q\"b\\s.der", success);
    f.dir.file("\xff.der", success);
    expect_outcome(f.run({"--json", "cmd", "success.der", "q\"b\\s.der", "\xff.der"}), 0,
                   "{\"file\":\"success.der\",\"value\":{\"type\":\"success\"}}\n"
                   "{\"file\":\"q\\\"b\\\\s.der\",\"value\":{\"type\":\"success\"}}\n"
                   "{\"file\":{\"base64\":\"/y5kZXI=\"},\"value\":{\"type\":\"success\"}}\n",
                   "");
}

TEST(ManyFiles, JqReadsEveryLine) {
    if (std::system("command -v jq >/dev/null 2>&1") != 0) GTEST_SKIP() << "no jq";
    const fixtures f;
    f.dir.file("\xff.frames", frame(request) + frame(success));
    test::run_options options;
    options.cwd = f.dir.path;
    const auto r = test::run({"/bin/sh", "-c",
                              "\"$0\" --framed --json cmd one.frames \"$1\" | jq -c '[.file, .frame, .value.type]'",
                              tool, "\xff.frames"},
                             options);
    expect_outcome(r, 0,
                   "[\"one.frames\",1,\"client_hello\"]\n[\"one.frames\",2,\"execute\"]\n"
                   "[{\"base64\":\"/y5mcmFtZXM=\"},1,\"job_request\"]\n[{\"base64\":\"/y5mcmFtZXM=\"},2,\"success\"]\n",
                   "");
}

// Headings and messages quote names by the terminal rule; a line feed in a name is escaped too, never a
// break in the message.
TEST(ManyFiles, NamesReachTheTerminalEscaped) {
    const fixtures f;
    f.dir.file("e\x1b[31m.der", success + '\0');
    f.dir.file("a\nb.der", success);
    const auto r = f.merged({"cmd", "e\x1b[31m.der", "a\nb.der"});
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.out, "==> e\\e[31m.der <==\n" + said("e\\e[31m.der: trailing bytes at offset " + std::to_string(success.size())) + "\n==> a\\nb.der <==\nsuccess\n");
}

// Exactly as before the tool took several: no heading, no "file" member, messages without the name.
TEST(ManyFiles, OneFileIsAsBefore) {
    const fixtures f;
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out, err;
    } cases[] = {
        {{"cmd", "success.der"}, 0, "success\n", ""},
        {{"exec", "a.der"}, 0, summary_of("a"), ""},
        {{"--json", "cmd", "success.der"}, 0, "{\"type\":\"success\"}\n", ""},
        {{"--framed", "cmd", "two.frames"}, 0, "frame 1 at offset 0\nsuccess\n", ""},
        {{"--framed", "--json", "cmd", "two.frames"}, 0, "{\"frame\":1,\"offset\":0,\"value\":{\"type\":\"success\"}}\n",
         ""},
        {{"--reencode", "cmd", "success.der"}, 0, success, ""},
        {{"exec", "bad.der"}, 124, "", "quarvel-dump: trailing bytes at offset 105\n"},
        {{"--json", "exec", "dir"}, 124, "", "quarvel-dump: dir: Is a directory\n"},
        {{"--framed", "cmd", "cut.frames"}, 124, "frame 1 at offset 0\njob request on p\n", said(cut_message)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        expect_outcome(f.run(c.args), c.status, c.out, c.err);
    }
}

TEST(ManyFiles, CommandLine) {
    const fixtures f;
    const std::string usage = "Usage: quarvel-dump [--help] [OPTION]\u2026 KIND FILE\u2026\n";
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"cmd", "-", "success.der", "-"}, usage + "quarvel-dump: FILE argument: '-' (standard input) cannot be repeated\n"},
        {{"--reencode", "cmd", "success.der", "request.der"},
         "quarvel-dump: option '--reencode' takes one FILE, or several with '--framed'\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        expect_outcome(f.run(c.args, success), 124, "", c.err);
    }
    // A FILE missing already is said in its place, as any other that cannot be read, and the others are
    // still read; with --json it has its line.
    expect_outcome(f.run({"cmd", "success.der", "missing.der", "request.der"}), 124,
                   "==> success.der <==\nsuccess\n\n==> missing.der <==\n\n==> request.der <==\njob request on p\n",
                   said("missing.der: No such file or directory"));
    expect_outcome(f.run({"--json", "cmd", "missing.der", "success.der"}), 124,
                   "{\"file\":\"missing.der\",\"error\":\"missing.der: No such file or directory\"}\n"
                   "{\"file\":\"success.der\",\"value\":{\"type\":\"success\"}}\n",
                   said("missing.der: No such file or directory"));
    // Standard input once, in its place.
    expect_outcome(f.run({"cmd", "success.der", "-", "success.der"}, request), 0,
                   "==> success.der <==\nsuccess\n\n==> - <==\njob request on p\n\n==> success.der <==\nsuccess\n", "");
}

// Re-encoded frames of several captures are one capture, with older forms migrated; a bad frame ends
// its own capture only.
TEST(ManyFiles, ReencodedCapturesFollowEachOtherAsOneCapture) {
    const fixtures f;
    const std::string merged = frame(hello) + frame(execute) + frame(success);
    expect_outcome(f.run({"--framed", "--reencode", "cmd", "one.frames", "two.frames"}), 0, merged, "");
    f.dir.file("merged.frames", merged);
    expect_outcome(f.run({"--framed", "cmd", "merged.frames"}), 0,
                   "frame 1 at offset 0\nclient hello client 13\nframe 2 at offset 19\nexecute a on any platform\n"
                   "frame 3 at offset 34\nsuccess\n",
                   "");
    expect_outcome(f.run({"--framed", "--reencode", "cmd", "cut.frames", "two.frames"}), 124,
                   frame(request) + frame(success), said("cut.frames: " + cut_message));
}

// Output that cannot be written ends the run at once: its message alone, and no file's after it.
TEST(ManyFiles, AFailedOutputEndsTheRunAtOnce) {
    const fixtures f;
    test::run_options options;
    options.cwd = f.dir.path;
    if (std::filesystem::exists("/dev/full")) {
        const auto r = test::run({"/bin/sh", "-c", "exec \"$0\" exec a.der bad.der dir b.der >/dev/full", tool}, options);
        expect_outcome(r, 124, "", "quarvel-dump: standard output: No space left on device\n");
    }
    if (std::filesystem::exists("/bin/bash")) {
        // A reader that goes away after one octet: about 600 kB were to follow, and a bad file at the end.
        const auto r = test::run({"/bin/bash", "-c",
                                  "files=(); for i in {1..2000}; do files+=(a.der); done\n"
                                  "\"$0\" exec \"${files[@]}\" bad.der | head -c1 >/dev/null\n"
                                  "exit ${PIPESTATUS[0]}",
                                  tool},
                                 options);
        expect_outcome(r, 124, "", "");
    }
}

}  // namespace
