#include <quarvel_toolkit/posix.hpp>

#include <algorithm>
#include <functional>
#include <cerrno>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using quarvel::posix::append_in_place;
using quarvel::posix::describe_error;
using quarvel::posix::read_exactly;
using quarvel::posix::write_all;
using quarvel::posix::write_all_with;

// A write-like call that answers from a script: a positive count takes at most that many bytes, -1
// fails with the given errno, 0 writes nothing.
struct scripted_put {
    struct step {
        ssize_t result;
        int error;
    };
    explicit scripted_put(std::vector<step> script = {}) : steps(std::move(script)) {}

    std::vector<step> steps;
    std::string written;
    std::size_t next = 0;

    ssize_t operator()(const char* data, std::size_t size) {
        const step s = steps.at(next++);
        if (s.result < 0) {
            errno = s.error;
            return -1;
        }
        const auto n = std::min<std::size_t>(size, static_cast<std::size_t>(s.result));
        written.append(data, n);
        return static_cast<ssize_t>(n);
    }
};

TEST(WriteAll, ContinuesPartialWritesAndRetriesInterruptedCalls) {
    scripted_put put({{2, 0}, {-1, EINTR}, {3, 0}, {-1, EINTR}, {100, 0}});
    EXPECT_EQ(write_all_with("abcdefghij", std::ref(put)), 0);
    EXPECT_EQ(put.written, "abcdefghij");
    EXPECT_EQ(put.next, 5u);
}

TEST(WriteAll, StopsAtTheFirstFailureWithItsErrorNumber) {
    scripted_put put({{4, 0}, {-1, ENOSPC}});
    EXPECT_EQ(write_all_with("abcdefghij", std::ref(put)), ENOSPC);
    EXPECT_EQ(put.written, "abcd");
}

TEST(WriteAll, ACallThatWritesNothingIsAnInputOutputError) {
    scripted_put put({{0, 0}});
    EXPECT_EQ(write_all_with("abc", std::ref(put)), EIO);
}

TEST(WriteAll, NothingToWriteMakesNoCall) {
    scripted_put put;
    EXPECT_EQ(write_all_with("", std::ref(put)), 0);
}

TEST(WriteAll, WritesToADescriptorAndReportsABadOne) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    EXPECT_EQ(write_all(fds[1], "hello"), 0);
    ::close(fds[1]);
    char buffer[16];
    const auto got = read_exactly(fds[0], buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, got.count), "hello");
    EXPECT_EQ(got.error, 0);  // the end of the file came first
    ::close(fds[0]);
    EXPECT_EQ(write_all(fds[1], "x"), EBADF);
}

TEST(ReadExactly, ReadsAcrossSeveralWritesAndReportsAFailingRead) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(write_all(fds[1], "abc"), 0);
    ASSERT_EQ(write_all(fds[1], "defg"), 0);
    char buffer[6];
    const auto got = read_exactly(fds[0], buffer, sizeof buffer);
    EXPECT_EQ(got.count, 6u);
    EXPECT_EQ(got.error, 0);
    EXPECT_EQ(std::string(buffer, 6), "abcdef");
    ::close(fds[0]);
    ::close(fds[1]);
    const auto failed = read_exactly(fds[0], buffer, sizeof buffer);
    EXPECT_EQ(failed.count, 0u);
    EXPECT_EQ(failed.error, EBADF);
}

TEST(AppendInPlace, KeepsWhatWasThereAndCutsToTheWrittenCount) {
    std::string out = "head:";
    for (int i = 0; i < 1000; ++i)
        append_in_place(out, 64, [](char* at) {
            at[0] = 'x';
            at[1] = 'y';
            return std::size_t{2};
        });
    EXPECT_EQ(out.size(), 5u + 2000u);
    EXPECT_EQ(out.substr(0, 9), "head:xyxy");
    EXPECT_EQ(out.substr(out.size() - 2), "xy");
}

TEST(DescribeError, GivesThePlatformsText) {
    EXPECT_EQ(describe_error(ENOENT), "No such file or directory");
    EXPECT_EQ(describe_error(EISDIR), "Is a directory");
    EXPECT_EQ(describe_error(EPIPE), "Broken pipe");
}

}  // namespace
