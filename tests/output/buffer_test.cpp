// The tools' one output buffer: bytes held until it is full or flushed, larger pieces past it, and one
// policy for a failed write.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

#include <quarvel/format.hpp>

#include "output/buffer.hpp"
#include "output/ignored_signal.hpp"

namespace {

// How many octets a pipe holds, unread.
int unread(int fd) {
    int n = -1;
    ::ioctl(fd, FIONREAD, &n);
    return n;
}

TEST(Output, BytesAreHeldUntilTheBufferIsFullOrFlushed) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    {
        output::buffer out(fds[1], 16);
        out.write("abcde");
        out.write("fghij");
        out.put('k');
        EXPECT_EQ(unread(fds[0]), 0);
        out.write("lmnop");  // fills the buffer exactly
        EXPECT_EQ(unread(fds[0]), 0);
        out.put('q');  // no room: the 16 held go first
        EXPECT_EQ(unread(fds[0]), 16);
        out.write(std::string(40, 'r'));  // larger than the buffer: after the one held, without it
        EXPECT_EQ(unread(fds[0]), 57);
        out.write("st");
        out.flush();
        EXPECT_EQ(unread(fds[0]), 59);
        out.write("u");
        EXPECT_TRUE(out.finish());
        EXPECT_EQ(out.error(), 0);
    }
    ::close(fds[1]);
    std::string got(64, '\0');
    got.resize(static_cast<std::size_t>(::read(fds[0], got.data(), got.size())));
    ::close(fds[0]);
    EXPECT_EQ(got, "abcdefghijklmnopq" + std::string(40, 'r') + "stu");
}

TEST(Output, AFailedWriteEndsTheOutput) {
    const output::ignored_signal closed_pipe(SIGPIPE);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    output::buffer gone(fds[1], 16);
    gone.write(std::string(20, 'x'));
    EXPECT_EQ(gone.error(), EPIPE);
    const auto quiet = gone.finish();
    ASSERT_FALSE(quiet);
    EXPECT_EQ(quiet.error(), "");  // nobody is left to tell
    ::close(fds[1]);

    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    const int full = ::open("/dev/full", O_WRONLY);
    output::buffer disk_full(full, 16);
    disk_full.write("x");
    EXPECT_EQ(disk_full.error(), 0);  // held yet
    const auto said = disk_full.finish();
    ASSERT_FALSE(said);
    EXPECT_EQ(said.error(), "standard output: No space left on device");
    ::close(full);
}

TEST(Output, PiecesKeptTogetherLeaveInOneWrite) {
    std::string text;
    output::buffer out(text, 16);
    out.write("0123456789");
    out.keep_together(4);  // fits beside what is held
    EXPECT_EQ(text, "");
    out.keep_together(8);  // does not: what is held goes first
    EXPECT_EQ(text, "0123456789");
    out.write("abcdefgh");
    out.flush();
    EXPECT_EQ(text, "0123456789abcdefgh");
}

// The formatter lays a text out through the buffer's stream in pieces, none of them the whole text, after
// what the buffer held, and the bytes are those it lays out into a string.
TEST(OutputStream, TheFormatterWritesAfterTheBufferAsIntoAString) {
    const auto print = [](quarvel::formatter& f) {
        for (int i = 0; i < 40000; ++i) {
            f.text("word" + std::to_string(i));
            f.space();
            if (i % 1000 == 999) f.line_end();
        }
        f.line_end();
    };
    std::string expected = "held first\n";
    {
        quarvel::formatter f(expected);
        print(f);
    }
    ASSERT_GT(expected.size(), 4 * output::buffer::default_capacity);

    std::FILE* const file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    const int fd = ::fileno(file);
    {
        output::buffer out(fd);
        out.write("held first\n");
        std::FILE* const stream = out.stream();
        ASSERT_NE(stream, nullptr);
        {
            quarvel::formatter f(stream);
            print(f);
        }
        out.after_stream();
        EXPECT_EQ(out.error(), 0);
        out.write("and after");
    }
    std::string written(expected.size() + 9, '\0');
    ASSERT_EQ(::pread(fd, written.data(), written.size(), 0), static_cast<ssize_t>(written.size()));
    EXPECT_EQ(written, expected + "and after");
    std::fclose(file);
}

// A buffer into a string has no stream: its owner lays the text out whole.
TEST(OutputStream, NoneForABufferIntoAString) {
    std::string text;
    output::buffer out(text);
    EXPECT_EQ(out.stream(), nullptr);
}

TEST(OutputStream, WritesFailOnceTheOutputHasFailed) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    const int full = ::open("/dev/full", O_WRONLY);
    output::buffer out(full, 16);
    {
        quarvel::formatter f(out.stream());
        f.text(std::string(100, 'x'));
        f.line_end();
        EXPECT_TRUE(f.failed());
        out.after_stream();
        EXPECT_EQ(out.error(), ENOSPC);
        EXPECT_EQ(out.stream(), nullptr);  // nothing more after a failure
    }
    EXPECT_EQ(out.finish().error(), "standard output: No space left on device");
    ::close(full);
}

}  // namespace
