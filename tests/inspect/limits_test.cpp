// The export is the run's last step and is not lost to what happens to standard output or to a file-size
// limit: the tool runs in a child process started as a shell starts it (SIGPIPE and SIGXFSZ at their
// default dispositions), with the limit set or standard output's reader gone.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

#include <quarvel/asn.hpp>

#include "support/process.hpp"

namespace {

namespace fs = std::filesystem;

const std::string tool = QUARVEL_INSPECT_BINARY;

struct child_outcome {
    int status = -1;  // the exit status, or 128 + signal number
    std::string err;
};

// Runs the tool with standard output on `out_fd` and standard error into a file of `dir`; `prepare` runs
// in the child just before the tool starts. While the child runs, `meanwhile` runs here.
child_outcome run_tool(const test::temp_dir& dir, const std::vector<std::string>& args, int out_fd,
                       const std::function<void()>& prepare, const std::function<void()>& meanwhile = {}) {
    const std::string err_path = dir.path + "/stderr";
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (err < 0) return {};
    std::vector<std::string> argv{tool};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = test::spawn(argv, {.out = out_fd, .err = err, .prepare = [&] {
                                             ::signal(SIGPIPE, SIG_DFL);
                                             ::signal(SIGXFSZ, SIG_DFL);
                                             prepare();
                                         }});
    ::close(err);
    if (pid < 0) return {};
    if (meanwhile) meanwhile();
    const int status = test::wait_for(pid);
    return {status, test::read_file(err_path)};
}

// A record whose transcript fills more than a pipe's buffer, with a 200 KiB output file between small ones.
quarvel::execution_record record() {
    quarvel::execution_record r;
    r.job = {"a", "p", "s"};
    for (int i = 0; i < 4000; ++i) r.console.push_back({std::int64_t{i} * 1'000'000, std::string(40, 'x')});
    r.started = quarvel::der::from_civil({2024, 1, 2, 3, 4, 5});
    r.finished = quarvel::der::from_civil({2024, 1, 2, 3, 4, 6});
    r.result = quarvel::Exited{0};
    r.output = {{"a.txt", "first"}, {"big.bin", std::string(200 * 1024, 'b')}, {"c.txt", "after"},
                {"d/e.txt", "deeper"}};
    return r;
}

const std::vector<std::string> small_files{"a.txt", "c.txt", "d/", "d/e.txt"};

void expect_small_files(const std::string& out) {
    EXPECT_EQ(test::read_file(out + "/a.txt"), "first");
    EXPECT_EQ(test::read_file(out + "/c.txt"), "after");
    EXPECT_EQ(test::read_file(out + "/d/e.txt"), "deeper");
}

std::function<void()> file_size_limit(rlim_t bytes) {
    return [bytes] {
        const struct rlimit limit{bytes, bytes};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(125);
    };
}

TEST(Limits, AFileBeyondTheFileSizeLimitIsSkippedAndTheLaterOnesAreWritten) {
    test::temp_dir dir;
    const auto rec = dir.file("rec.der", quarvel::asn::exec_to_str(record()));
    const std::string out = dir.path + "/out";
    fs::create_directory(out);
    const int null = ::open("/dev/null", O_WRONLY);
    const auto r = run_tool(dir, {"--console", "--output", out, rec}, null, file_size_limit(50 * 1024));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(test::tree(out), small_files);  // no temporary file left behind
    expect_small_files(out);

    // A target that cannot be replaced keeps what it held.
    const auto old = dir.file("out/big.bin", "old");
    const auto again = run_tool(dir, {"--output", out, rec}, null, file_size_limit(50 * 1024));
    ::close(null);
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(test::read_file(old), "old");
    auto with_old = small_files;
    with_old.insert(with_old.begin() + 1, "big.bin");
    EXPECT_EQ(test::tree(out), with_old);
}

TEST(Limits, StandardOutputBeyondTheFileSizeLimitFailsTheRunAfterTheExport) {
    test::temp_dir dir;
    quarvel::execution_record small = record();
    small.output.erase(small.output.begin() + 1);
    const auto rec = dir.file("rec.der", quarvel::asn::exec_to_str(small));
    const std::string out = dir.path + "/out";
    fs::create_directory(out);
    const int printed = ::open((dir.path + "/printed").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const auto r = run_tool(dir, {"--console", "--output", out, rec}, printed, file_size_limit(50 * 1024));
    ::close(printed);
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.err, "quarvel-inspect: standard output: File too large\n");
    EXPECT_EQ(test::tree(out), small_files);
    expect_small_files(out);
    // Printed up to the limit, and nothing after the line that did not fit.
    EXPECT_EQ(fs::file_size(dir.path + "/printed"), 50u * 1024);
}

TEST(Limits, StandardOutputsReaderGoingAwayEndsTheRunQuietlyAfterTheExport) {
    struct case_ {
        const char* name;
        std::vector<std::string> flags;
        std::size_t read_before_closing;  // bytes read from the pipe before its read end is closed
    };
    const std::vector<case_> cases{
        {"no reader at all", {"--job"}, 0},
        {"no reader at all, long transcript", {"--console"}, 0},
        {"reader leaves after 10 bytes, as head -c10 does", {"--console"}, 10},
        {"reader leaves after 10 bytes, every flag", {"--job", "--console", "--script"}, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::temp_dir dir;
        quarvel::execution_record small = record();
        small.output.erase(small.output.begin() + 1);
        const auto rec = dir.file("rec.der", quarvel::asn::exec_to_str(small));
        const std::string out = dir.path + "/out";
        fs::create_directory(out);
        int pipe_fds[2];
        ASSERT_EQ(::pipe(pipe_fds), 0);
        if (c.read_before_closing == 0) ::close(pipe_fds[0]);
        std::vector<std::string> args = c.flags;
        args.insert(args.end(), {"--output", out, rec});
        const auto r = run_tool(
            dir, args, pipe_fds[1], [&] { ::close(pipe_fds[0]); },
            [&] {
                ::close(pipe_fds[1]);
                if (c.read_before_closing == 0) return;
                std::string got(c.read_before_closing, '\0');
                std::size_t have = 0;
                while (have < got.size()) {
                    const ssize_t n = ::read(pipe_fds[0], got.data() + have, got.size() - have);
                    if (n <= 0) break;
                    have += static_cast<std::size_t>(n);
                }
                ::close(pipe_fds[0]);
            });
        EXPECT_EQ(r.status, 124);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(test::tree(out), small_files);
        expect_small_files(out);
    }
}

}  // namespace
