// quarvel-dump --framed seen from outside: captures of framed commands printed frame by frame, bad
// frames, re-encoding of whole captures, a live pipe, bounded memory and the refusal to write binary
// data to a terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <signal.h>
#include <string>
#include <unistd.h>
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

const std::string tool = QUARVEL_DUMP_BINARY;

using der_test::hex;

const std::string hello = hex("AE 09 30 07 A0 02 05 00 02 01 0D");  // client hello client 13
const std::string request = hex("B0 03 0C 01 70");                 // job request on p
const std::string old_execute = hex("AB 03 0C 01 61");             // execute a on any platform, older form
const std::string execute = hex("B4 05 30 03 0C 01 61");           // the same in the current form
const std::string success = hex("B2 02 05 00");

// Three commands: frames at offsets 0, 19 and 32.
const std::string three_frames = frame(hello) + frame(request) + frame(old_execute);
const std::string three_printed =
    "frame 1 at offset 0\nclient hello client 13\n"
    "frame 2 at offset 19\njob request on p\n"
    "frame 3 at offset 32\nexecute a on any platform\n";

void expect_outcome(const test::outcome& r, int status, const std::string& out, const std::string& err,
                    const std::string& what) {
    EXPECT_EQ(r.status, status) << what;
    EXPECT_EQ(r.out, out) << what;
    EXPECT_EQ(r.err, err) << what;
}

TEST(Framed, EachCommandAfterItsFrameLine) {
    test::temp_dir dir;
    const auto file = dir.file("capture", three_frames + frame(success));
    expect_outcome(test::run({tool, "--framed", "cmd", file}), 0,
                   three_printed + "frame 4 at offset 45\nsuccess\n", "", "four frames");
}

TEST(Framed, AnEmptyCaptureHoldsNoFrame) {
    test::temp_dir dir;
    const auto file = dir.file("capture", "");
    expect_outcome(test::run({tool, "--framed", "cmd", file}), 0, "", "", "text");
    expect_outcome(test::run({tool, "--framed", "--reencode", "cmd", file}), 0, "", "", "re-encoded");
}

// Everything before the bad frame is printed; the bad frame stops the run with its number and offset.
TEST(Framed, ABadFrameStopsTheRunAfterWhatCameBefore) {
    struct case_ {
        std::string tail, message;
    };
    const std::vector<case_> cases{
        {prefix(10) + "abcd", "end of file after 4 of 10 payload octets"},
        {prefix(2), "end of file after 0 of 2 payload octets"},
        {prefix(4).substr(0, 3), "end of file after 3 of 8 length octets"},
        {prefix(-1) + "x", "frame length negative"},
        {prefix(std::int64_t{1} << 40), "frame too large"},
        {prefix(INT64_MIN), "frame length negative"},
        // The offsets of a decoder's fault count from the start of the capture: frame 4's payload begins at 53.
        {frame(success + '\0'), "trailing bytes at offset " + std::to_string(53 + success.size())},
        {frame(hex("A8 02 05 00")), "retired command at offset 53 (command)"},
        // An empty payload is no command: the decoder says why.
        {frame(""), quarvel::asn::cmd_of_str("").error() + " at offset 53"},
    };
    test::temp_dir dir;
    for (const auto& c : cases) {
        const auto file = dir.file("capture", three_frames + c.tail);
        const std::string message = "frame 4 at offset 45: " + c.message;
        const std::string err = cli::message_line("quarvel-dump", message) + "\n";
        expect_outcome(test::run({tool, "--framed", "cmd", file}), 124, three_printed, err, "text " + message);
        expect_outcome(test::run({tool, "--framed", "--reencode", "cmd", file}), 124,
                       frame(hello) + frame(request) + frame(execute), err, "re-encoded " + message);
    }
}

TEST(Framed, ReencodingWritesEveryFrameInTheCurrentForm) {
    test::temp_dir dir;
    const auto file = dir.file("capture", three_frames + frame(success));
    expect_outcome(test::run({tool, "--framed", "--reencode", "cmd", file}), 0,
                   frame(hello) + frame(request) + frame(execute) + frame(success), "", "re-encoded");
}

TEST(Framed, OtherKindsAndStandardInput) {
    // A state of one dropped platform x, twice, read from standard input.
    test::run_options options;
    options.input = frame(hex("30 05 A5 03 0C 01 78")) + frame(hex("30 00"));
    expect_outcome(test::run({tool, "--framed", "state", "-"}, options), 0,
                   "frame 1 at offset 0\ndropped platform x\nframe 2 at offset 15\n\n", "", "state");
}

TEST(Framed, ADirectoryIsAReadFailureNotABadFrame) {
    test::temp_dir dir;
    expect_outcome(test::run({tool, "--framed", "cmd", dir.path}), 124, "",
                   cli::message_line("quarvel-dump", dir.path + ": Is a directory") + "\n", "directory");
}

// Reads from `fd` until `expected` has arrived or five seconds have passed.
std::string read_until(int fd, const std::string& expected) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (got.size() < expected.size() && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

// A live connection: each command appears while the writer still holds the pipe open.
TEST(Framed, APipeIsFollowedFrameByFrame) {
    int in[2], out[2];
    ASSERT_EQ(::pipe(in), 0);
    ASSERT_EQ(::pipe(out), 0);
    const pid_t pid = test::spawn({tool, "--framed", "cmd", "-"}, {.in = in[0], .out = out[1], .prepare = [&] {
                                                                   ::close(in[1]);
                                                                   ::close(out[0]);
                                                               }});
    ASSERT_GE(pid, 0);
    ::close(in[0]);
    ::close(out[1]);
    ::signal(SIGPIPE, SIG_IGN);

    const std::string first = frame(hello);
    // The frame arrives in two pieces; nothing is printed before it is complete.
    ASSERT_EQ(::write(in[1], first.data(), 10), 10);
    pollfd p{out[0], POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 200), 0) << "printed before the frame was complete";
    ASSERT_EQ(::write(in[1], first.data() + 10, first.size() - 10), static_cast<ssize_t>(first.size() - 10));
    const std::string first_printed = "frame 1 at offset 0\nclient hello client 13\n";
    EXPECT_EQ(read_until(out[0], first_printed), first_printed);

    const std::string second = frame(success);
    ASSERT_EQ(::write(in[1], second.data(), second.size()), static_cast<ssize_t>(second.size()));
    const std::string second_printed = "frame 2 at offset 19\nsuccess\n";
    EXPECT_EQ(read_until(out[0], second_printed), second_printed);

    ::close(in[1]);
    EXPECT_EQ(read_until(out[0], "x"), "");
    ::close(out[0]);
    EXPECT_EQ(test::wait_for(pid), 0);
}

TEST(Framed, MemoryStaysBoundedByTheLargestFrame) {
    // 64 MiB of capture in frames of about 64 KiB, each one Output line.
    test::temp_dir dir;
    const std::string payload = quarvel::asn::cmd_to_str(quarvel::cmd{quarvel::cmd::Output{{}, std::string(65'000, 'x')}});
    std::string capture;
    const std::string one = frame(payload);
    capture.reserve(1024 * one.size());
    for (int i = 0; i < 1024; ++i) capture += one;
    const auto file = dir.file("capture", capture);
    capture.clear();
    capture.shrink_to_fit();

    const auto r = test::run({"/bin/sh", "-c", "exec \"$0\" --framed --reencode cmd \"$1\" >/dev/null", tool, file});
    EXPECT_EQ(r.status, 0) << r.err;
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(r.max_rss_kib, 16 * 1024) << "peak " << r.max_rss_kib << " KiB";
#endif
}

TEST(Framed, ReencodingRefusesATerminal) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) GTEST_SKIP() << "no pseudo-terminal";
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string terminal = ::ptsname(master);
    test::temp_dir dir;
    const auto file = dir.file("cmd.der", success);
    const auto capture = dir.file("capture", frame(success));
    const std::string refusal = "quarvel-dump: refusing to write binary data to a terminal\n";
    for (const auto& args : std::vector<std::string>{"--reencode cmd \"$1\"", "--framed --reencode cmd \"$2\""}) {
        const auto r = test::run({"/bin/sh", "-c", "exec \"$0\" " + args + " >\"$3\"", tool, file, capture, terminal});
        expect_outcome(r, 124, "", refusal, args);
    }
    // Text goes to a terminal as usual.
    const auto r = test::run({"/bin/sh", "-c", "exec \"$0\" cmd \"$1\" >\"$2\"", tool, file, terminal});
    expect_outcome(r, 0, "", "", "text");
    char buffer[64];
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0), "success\r\n");
    ::close(master);
}

}  // namespace
