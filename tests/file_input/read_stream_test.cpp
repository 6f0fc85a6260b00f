// A stream (a pipe, a device) is read no further than the first DER element it holds and one octet more:
// what is left stays in the stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "der/hex.hpp"
#include "file_input/read_file.hpp"

namespace {

using der_test::hex;

// What reading standard input, a pipe holding `input` and then closed, takes, and what it leaves.
struct taken_and_left {
    quarvel::result<std::string> taken;
    std::string left;
};

template <class Read>
taken_and_left read_pipe(const std::string& input, Read&& read) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    EXPECT_EQ(::write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::close(fds[1]);
    const int saved = ::dup(STDIN_FILENO);
    ::dup2(fds[0], STDIN_FILENO);
    ::close(fds[0]);
    taken_and_left r{read(), {}};
    char buffer[4096];
    for (ssize_t n; (n = ::read(STDIN_FILENO, buffer, sizeof buffer)) > 0;) r.left.append(buffer, static_cast<std::size_t>(n));
    ::dup2(saved, STDIN_FILENO);
    ::close(saved);
    return r;
}

TEST(ReadStream, AStreamIsReadAsFarAsItsFirstElementAndOneOctetMore) {
    struct case_ {
        const char* what;
        std::string input;
        std::size_t taken;
    };
    const std::string after = "abc";
    const std::vector<case_> cases{
        {"short length, then more", hex("30 03 02 01 05") + after, 6},
        {"short length, nothing after", hex("30 03 02 01 05"), 5},
        {"empty contents", hex("05 00") + after, 3},
        {"one length octet", hex("04 81 80") + std::string(128, 'x') + after, 132},
        {"two length octets", hex("04 82 01 00") + std::string(256, 'x') + after, 261},
        {"a high tag number", hex("BF 1F 00") + after, 4},
        {"a high tag number in two octets", hex("9F 81 00 00") + after, 5},
        {"a stream that ends inside the header", hex("30 82 01"), 3},
        {"a stream that ends inside the contents", hex("30 05 02 01"), 4},
        {"an empty stream", "", 0},
        // Headers that cannot be valid: the read stops at the octet that tells.
        {"indefinite length", hex("30 80 00 00") + after, 2},
        {"a high tag number with a leading zero", hex("1F 80 01 00") + after, 2},
        {"a high tag number below 31", hex("1F 1E 00") + after, 2},
        {"a high tag number of nine octets", hex("1F 81 81 81 81 81 81 81 81 01 00") + after, 9},
        {"a long length below 128", hex("04 81 05") + after, 3},
        {"a length with a leading zero octet", hex("04 82 00 80") + after, 3},
        {"nine length octets", hex("04 89 01 00 00 00 00 00 00 00 00") + after, 2},
        {"a length above 2^62 - 1", hex("04 88 40 00 00 00 00 00 00 00") + after, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string expected_taken = c.input.substr(0, c.taken);
        const std::string expected_left = c.input.substr(c.taken);

        const auto read = read_pipe(c.input, [] { return file_input::read_whole_file("-"); });
        ASSERT_TRUE(read.taken) << read.taken.error();
        EXPECT_EQ(*read.taken, expected_taken);
        EXPECT_EQ(read.left, expected_left);

        const auto used = read_pipe(c.input, [] {
            std::string seen;
            int calls = 0;
            const auto outcome = file_input::with_whole_file("-", [&](std::string_view bytes) {
                seen.assign(bytes);
                ++calls;
            });
            EXPECT_EQ(calls, 1);
            return outcome ? quarvel::result<std::string>(seen) : std::unexpected(outcome.error());
        });
        ASSERT_TRUE(used.taken) << used.taken.error();
        EXPECT_EQ(*used.taken, expected_taken);
        EXPECT_EQ(used.left, expected_left);
    }
}

// A child process that writes into a new pipe what `write` writes to the descriptor it is given, then
// ends; the parent gets the pipe's reading end.
struct pipe_writer {
    pid_t pid = -1;
    int read_end = -1;
};

template <class Write>
pipe_writer spawn_pipe_writer(Write&& write) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::_exit(write(fds[1]) ? 0 : 1);
    }
    ::close(fds[1]);
    return {pid, fds[0]};
}

// A long element arrives whole, however its stream delivers it.
TEST(ReadStream, ALongElementIsReadWhole) {
    std::string contents(300'000, '\0');
    for (std::size_t i = 0; i < contents.size(); ++i) contents[i] = static_cast<char>(i * 13 % 256);
    const std::string element = hex("04 83 04 93 E0") + contents;
    const pipe_writer writer = spawn_pipe_writer([&](int fd) {
        const std::string all = element + "trailing";
        for (std::size_t at = 0; at < all.size();) {
            const ssize_t n = ::write(fd, all.data() + at, std::min<std::size_t>(1000, all.size() - at));
            if (n <= 0) return false;
            at += static_cast<std::size_t>(n);
        }
        return true;
    });
    ASSERT_GE(writer.pid, 0);
    const int saved = ::dup(STDIN_FILENO);
    ::dup2(writer.read_end, STDIN_FILENO);
    ::close(writer.read_end);
    const auto read = file_input::read_whole_file("-");
    ::dup2(saved, STDIN_FILENO);  // the writer's last octets meet a closed pipe
    ::close(saved);
    int status = 0;
    ::waitpid(writer.pid, &status, 0);
    ASSERT_TRUE(read) << read.error();
    EXPECT_TRUE(*read == element + "t") << read->size();
}

// A device that never ends: its first element (two zero octets) and one octet more.
TEST(ReadStream, AnEndlessDeviceEndsAfterItsFirstElement) {
    if (::access("/dev/zero", R_OK) != 0) GTEST_SKIP() << "no /dev/zero";
    EXPECT_EQ(file_input::read_whole_file("/dev/zero").value_or("x"), std::string(3, '\0'));
    std::string seen = "x";
    EXPECT_TRUE(file_input::with_whole_file("/dev/zero", [&](std::string_view bytes) { seen.assign(bytes); }));
    EXPECT_EQ(seen, std::string(3, '\0'));
}

// A stream whose header claims 2^56 octets and then never ends: the buffer grows with the octets that
// come, and once the system refuses more memory the read fails like any other ("Cannot allocate memory"),
// never as an uncaught exception.
TEST(ReadStream, MemoryRefusedToAnEndlessClaimIsAFailureOfTheInput) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
#else
    const pipe_writer writer = spawn_pipe_writer([](int fd) {
        const std::string header = hex("30 88 01 00 00 00 00 00 00 00");
        if (::write(fd, header.data(), header.size()) != static_cast<ssize_t>(header.size())) return false;
        const std::string zeros(65536, '\0');
        while (::write(fd, zeros.data(), zeros.size()) > 0) {
        }
        return true;  // the reader has gone
    });
    ASSERT_GE(writer.pid, 0);
    const pid_t reader = ::fork();
    ASSERT_GE(reader, 0);
    if (reader == 0) {
        const rlimit limit{256 << 20, 256 << 20};
        ::setrlimit(RLIMIT_AS, &limit);
        ::dup2(writer.read_end, STDIN_FILENO);
        const auto read = file_input::read_whole_file("-");
        ::_exit(!read && read.error() == "-: " + std::string(std::strerror(ENOMEM)) ? 0 : 1);
    }
    ::close(writer.read_end);
    int status = 0;
    ::waitpid(reader, &status, 0);
    ::kill(writer.pid, SIGKILL);
    ::waitpid(writer.pid, nullptr, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
#endif
}

}  // namespace
