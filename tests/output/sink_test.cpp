// The one output sink of the formatter and the tools: bytes held until it is full or flushed, larger pieces
// past it, one policy for a failed write, and the formatter laying its text out into it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

#include <quarvel/format.hpp>

#include <quarvel_toolkit/sink.hpp>
#include "output/ignored_signal.hpp"

namespace {

// How many octets a pipe holds, unread.
int unread(int fd) {
    int n = -1;
    ::ioctl(fd, FIONREAD, &n);
    return n;
}

// Everything written in one file, read back from its start.
std::string written_to(int fd) {
    std::string bytes;
    char chunk[65536];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, chunk, sizeof chunk, at);
        if (n <= 0) return bytes;
        bytes.append(chunk, static_cast<std::size_t>(n));
        at += n;
    }
}

TEST(Sink, BytesAreHeldUntilTheBufferIsFullOrFlushed) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    {
        quarvel::sink out(fds[1], 16);
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

// A reader that went away fails quietly, a full disk is said once at the end, and after either nothing more
// is written: not the bytes written later, nor what the failed write held.
TEST(Sink, AFailedWriteEndsTheOutput) {
    const output::ignored_signal closed_pipe(SIGPIPE);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    quarvel::sink gone(fds[1], 16);
    gone.write(std::string(20, 'x'));
    EXPECT_EQ(gone.error(), EPIPE);
    gone.write("abc");
    gone.put('y');
    gone.flush();
    EXPECT_EQ(gone.error(), EPIPE);
    const auto quiet = gone.finish();
    ASSERT_FALSE(quiet);
    EXPECT_EQ(quiet.error(), "");  // nobody is left to tell
    ::close(fds[1]);

    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    const int full = ::open("/dev/full", O_WRONLY);
    quarvel::sink disk_full(full, 16);
    disk_full.write("x");
    EXPECT_EQ(disk_full.error(), 0);  // held yet
    const auto said = disk_full.finish();
    ASSERT_FALSE(said);
    EXPECT_EQ(said.error(), "standard output: No space left on device");

    // The same descriptor made a working file again: nothing more reaches it, and the failure is kept.
    std::FILE* const file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    const int saved = ::dup(full);
    ASSERT_EQ(::dup2(::fileno(file), full), full);
    disk_full.write(std::string(20, 'a'));
    disk_full.write("later");
    disk_full.put('z');
    disk_full.flush();
    EXPECT_EQ(disk_full.finish().error(), "standard output: No space left on device");
    EXPECT_EQ(written_to(full), "");
    ::close(saved);
    ::close(full);
    std::fclose(file);
}

TEST(Sink, PiecesKeptTogetherLeaveInOneWrite) {
    std::string text;
    quarvel::sink out(text, 16);
    out.write("0123456789");
    out.keep_together(4);  // fits beside what is held
    EXPECT_EQ(text, "");
    out.keep_together(8);  // does not: what is held goes first
    EXPECT_EQ(text, "0123456789");
    out.write("abcdefgh");
    out.flush();
    EXPECT_EQ(text, "0123456789abcdefgh");
}

// A text far larger than the buffer leaves in writes of at most the buffer's size (and larger pieces as they
// are), never held whole.
TEST(Sink, ALargeTextLeavesInBoundedWrites) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::string expected;
    std::size_t most_unread = 0;
    {
        quarvel::sink out(fds[1], 4096);
        std::string got;
        for (int i = 0; i < 20000; ++i) {
            const std::string word = "word" + std::to_string(i) + (i % 10 == 9 ? "\n" : " ");
            expected += word;
            out.write(word);
            const int n = unread(fds[0]);
            most_unread = std::max(most_unread, static_cast<std::size_t>(n));
            if (n > 0) {  // drained as it comes, so the pipe never blocks
                std::string chunk(static_cast<std::size_t>(n), '\0');
                ASSERT_EQ(::read(fds[0], chunk.data(), chunk.size()), n);
                got += chunk;
            }
        }
        EXPECT_LT(got.size(), expected.size());  // the tail is still held
        EXPECT_TRUE(out.finish());
        const int n = unread(fds[0]);
        std::string chunk(static_cast<std::size_t>(n), '\0');
        ASSERT_EQ(::read(fds[0], chunk.data(), chunk.size()), n);
        got += chunk;
        EXPECT_TRUE(got == expected);
    }
    EXPECT_LE(most_unread, 4096u);
    EXPECT_GT(expected.size(), 40 * 4096u);
    ::close(fds[0]);
    ::close(fds[1]);
}

// A string sink holds like the others and appends at each flush; of no capacity, it appends every piece at
// once. A piece written in place lands in the buffer when it fits, aside when it does not, in order.
TEST(Sink, StringBackend) {
    std::string text;
    {
        quarvel::sink out(text, 8);
        out.write("abc");
        out.put('d');
        EXPECT_EQ(text, "");
        out.write_in_place(6, [](char* at) {
            std::memcpy(at, "efg", 3);
            return std::size_t{3};
        });
        EXPECT_EQ(text, "abcd");  // 6 of room did not fit beside the 4 held
        out.write_in_place(20, [](char* at) {
            std::memcpy(at, "0123456789", 10);
            return std::size_t{10};
        });
        EXPECT_EQ(text, "abcdefg0123456789");
        out.write("tail");
        EXPECT_TRUE(out.finish());
        EXPECT_EQ(text, "abcdefg0123456789tail");
        out.write("!");
    }
    EXPECT_EQ(text, "abcdefg0123456789tail!");  // what is held leaves when the sink goes

    std::string direct;
    quarvel::sink at_once(direct, 0);
    at_once.write("ab");
    EXPECT_EQ(direct, "ab");
    at_once.put('c');
    EXPECT_EQ(direct, "abc");
}

// The formatter lays a text out into the sink after what the sink held, the same bytes as into a string, in
// writes no larger than the buffer, and flushes at each line end.
TEST(SinkFormatter, TheFormatterWritesIntoTheSinkAsIntoAString) {
    const auto print = [](quarvel::formatter& f) {
        for (int i = 0; i < 40000; ++i) {
            f.text("word" + std::to_string(i));
            f.space();
            if (i % 1000 == 999) f.line_end();
        }
        f.text("open");
        f.space();
        f.text("end");
    };
    std::string expected = "held first\n";
    {
        quarvel::formatter f(expected);
        print(f);
    }
    ASSERT_GT(expected.size(), 4 * quarvel::sink::default_capacity);

    std::FILE* const file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    const int fd = ::fileno(file);
    {
        quarvel::sink out(fd);
        out.write("held first\n");
        {
            quarvel::formatter f(out);
            f.text("x");
            EXPECT_EQ(written_to(fd), "");  // held in the sink
            f.line_end();
            EXPECT_EQ(written_to(fd), "held first\nx\n");  // a line end flushes it
        }
        std::string text;
        quarvel::sink into_text(text);
        {
            quarvel::formatter f(into_text);
            print(f);
        }
        EXPECT_EQ(into_text.error(), 0);
        into_text.flush();
        EXPECT_TRUE(text == expected.substr(11));
        {
            quarvel::formatter f(out);
            print(f);
            f.finish();
            EXPECT_FALSE(f.failed());
        }
        out.write("and after");
    }
    EXPECT_TRUE(written_to(fd) == "held first\nx\n" + expected.substr(11) + "and after");
    std::fclose(file);
}

TEST(SinkFormatter, AFailedSinkFailsTheFormatterOnce) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    const int full = ::open("/dev/full", O_WRONLY);
    quarvel::sink out(full, 16);
    {
        quarvel::formatter f(out);
        EXPECT_FALSE(f.failed());
        f.text(std::string(100, 'x'));
        f.line_end();
        EXPECT_TRUE(f.failed());
        EXPECT_EQ(out.error(), ENOSPC);
        f.text("more");
        f.line_end();
    }
    quarvel::formatter later(out);
    EXPECT_TRUE(later.failed());  // the sink's failure, not the formatter's own
    EXPECT_EQ(out.finish().error(), "standard output: No space left on device");
    ::close(full);
}

}  // namespace
