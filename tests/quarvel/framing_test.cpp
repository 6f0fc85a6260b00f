#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <quarvel/framing.hpp>

#include "descriptor_kinds.hpp"
#include <quarvel/log.hpp>

namespace quarvel {
namespace {

using namespace std::string_literals;
using testing::prefix_of;
using testing::frame_of;
using testing::put_raw;
using testing::unread;

// ---- descriptors -------------------------------------------------------------------------------------

enum class transport { pipe, socket };

// The two ends of a one-way stream that blocks: bytes written to `writer` are read from `reader`.
struct stream : testing::channel_pair {
    explicit stream(transport t)
        : channel_pair(t == transport::pipe ? testing::descriptor_kind::pipe : testing::descriptor_kind::socket_pair,
                       false) {}
};

// Up to `limit` bytes, whatever one read call gives.
std::string take_raw(int fd, std::size_t limit) {
    std::string bytes(limit, '\0');
    ssize_t n;
    do n = ::read(fd, bytes.data(), limit);
    while (n < 0 && errno == EINTR);
    bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return bytes;
}

// Everything until the end of the stream.
std::string drain(int fd) {
    std::string all;
    for (std::string piece; !(piece = take_raw(fd, 65536)).empty();) all += piece;
    return all;
}

std::string patterned(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 7 % 251);
    return s;
}

// Writes to `fd` until the stream holds no more; returns what was written.
std::string fill(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    std::string all;
    const std::string chunk = patterned(4096);
    for (ssize_t n; (n = ::write(fd, chunk.data(), chunk.size())) > 0;) all.append(chunk, 0, static_cast<std::size_t>(n));
    ::fcntl(fd, F_SETFL, flags);
    return all;
}

// ---- observing the log --------------------------------------------------------------------------------

struct logged {
    std::string source;
    log::level lvl;
    std::string text;
    friend bool operator==(const logged&, const logged&) = default;
};

void PrintTo(const logged& l, std::ostream* os) {
    *os << l.source << " [" << static_cast<int>(l.lvl) << "] " << l.text;
}

struct log_capture {
    std::vector<logged> messages;
    std::optional<log::level> previous_level = log::current_level();

    log_capture() {
        log::set_level(log::level::debug);
        log::set_reporter([this](const log::source& from, log::level lvl, std::string_view, std::string_view text) {
            messages.push_back({std::string(from.name), lvl, std::string(text)});
        });
    }
    ~log_capture() {
        log::set_reporter({});
        log::set_level(previous_level);
    }
};

// ---- signals ------------------------------------------------------------------------------------------

std::atomic<int> signals_handled{0};
extern "C" void count_signal(int) { signals_handled.fetch_add(1); }

// SIGUSR1 handled without SA_RESTART, so a blocked read or write it hits fails with EINTR or returns short.
struct interrupting_signal {
    struct sigaction previous {};
    interrupting_signal() {
        struct sigaction action {};
        action.sa_handler = count_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        ::sigaction(SIGUSR1, &action, &previous);
    }
    ~interrupting_signal() { ::sigaction(SIGUSR1, &previous, nullptr); }

    // Sends the signal to `thread` and waits until its handler has run.
    static void hit(std::thread& thread) {
        const int before = signals_handled.load();
        ::pthread_kill(thread.native_handle(), SIGUSR1);
        while (signals_handled.load() == before) sched_yield();
    }
};

// Waits until thread `tid` sleeps inside one of the given system calls.
void wait_until_blocked_in(pid_t tid, std::initializer_list<long> calls) {
    const std::string path = "/proc/self/task/" + std::to_string(tid) + "/syscall";
    for (;;) {
        std::ifstream file(path);
        long number = -1;
        if (file >> number)
            for (long call : calls)
                if (number == call) return;
        ::usleep(1000);
    }
}

// ---- ign_intr -----------------------------------------------------------------------------------------

TEST(IgnIntr, RepeatsAnInterruptedCallWithTheSameArgument) {
    std::vector<int> arguments;
    auto interrupted_twice = [&](int x) {
        arguments.push_back(x);
        if (arguments.size() < 3) {
            errno = EINTR;
            return -1;
        }
        return x * 2;
    };
    EXPECT_EQ(ign_intr(interrupted_twice, 21), 42);
    EXPECT_EQ(arguments, (std::vector{21, 21, 21}));
}

TEST(IgnIntr, PassesOtherFailuresThrough) {
    int calls = 0;
    auto failing = [&](int) {
        ++calls;
        errno = EBADF;
        return -1;
    };
    errno = 0;
    EXPECT_EQ(ign_intr(failing, 0), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(calls, 1);
}

// ---- frames over pipes and sockets --------------------------------------------------------------------

class Framing : public ::testing::TestWithParam<transport> {};

INSTANTIATE_TEST_SUITE_P(Transports, Framing, ::testing::Values(transport::pipe, transport::socket),
                         [](const auto& info) { return info.param == transport::pipe ? "pipe"s : "socket"s; });

TEST_P(Framing, WritesThePrefixThenThePayload) {
    struct Case {
        std::string payload;
        std::string expected_prefix;
    };
    const Case cases[] = {
        {"", "\0\0\0\0\0\0\0\0"s},
        {"hello", "\0\0\0\0\0\0\0\x05"s},
        {"\0\xff\n"s, "\0\0\0\0\0\0\0\x03"s},
        {patterned(0x10203), "\0\0\0\0\0\x01\x02\x03"s},  // more than a pipe holds
    };
    for (const auto& c : cases) {
        stream s(GetParam());
        result<void> written;
        std::thread writer([&] {
            written = write(s.writer, c.payload);
            s.close_writer();
        });
        const std::string bytes = drain(s.reader);
        writer.join();
        ASSERT_TRUE(written.has_value()) << written.error();
        EXPECT_EQ(bytes, c.expected_prefix + c.payload) << "payload of " << c.payload.size() << " bytes";
    }
}

TEST_P(Framing, FramesBackToBackAreReadOneAtATime) {
    stream s(GetParam());
    put_raw(s.writer, ""s + prefix_of(0) + prefix_of(5) + "hello" + prefix_of(3) + "\0\x01\x02"s);
    s.close_writer();
    EXPECT_EQ(read(s.reader), "");
    EXPECT_EQ(read(s.reader), "hello");
    EXPECT_EQ(read(s.reader), "\0\x01\x02"s);
    EXPECT_EQ(read(s.reader), std::unexpected("end of file"s));
}

TEST_P(Framing, WrittenFramesReadBack) {
    for (const std::string& payload : {""s, "x"s, patterned(1000), patterned(300'000)}) {
        stream s(GetParam());
        result<void> written;
        std::thread writer([&] { written = write(s.writer, payload); });
        const auto got = read(s.reader);
        writer.join();
        ASSERT_TRUE(written.has_value()) << written.error();
        ASSERT_TRUE(got.has_value()) << got.error();
        EXPECT_EQ(*got, payload) << "payload of " << payload.size() << " bytes";
        EXPECT_EQ(unread(s.reader), 0);
    }
}

TEST_P(Framing, PayloadArrivingOneByteAtATime) {
    stream s(GetParam());
    const std::string payload = "assembled in order";
    std::thread dribbler([&] {
        for (char byte : frame_of(payload)) {
            put_raw(s.writer, std::string_view(&byte, 1));
            // Each byte is taken before the next is sent, so every read call gets exactly one.
            while (unread(s.reader) > 0) sched_yield();
        }
    });
    const auto got = read(s.reader);
    dribbler.join();
    EXPECT_EQ(got, payload);
}

TEST_P(Framing, StreamEndingInsideAFrameIsEndOfFile) {
    struct Case {
        const char* what;
        std::string sent;
    };
    const Case cases[] = {
        {"before any byte", ""},
        {"after 5 prefix bytes", prefix_of(10).substr(0, 5)},
        {"after 4 of 10 payload bytes", prefix_of(10) + "abcd"},
        {"after the prefix", prefix_of(1)},
    };
    log_capture log;
    for (const auto& c : cases) {
        stream s(GetParam());
        put_raw(s.writer, c.sent);
        s.close_writer();
        EXPECT_EQ(read(s.reader), std::unexpected("end of file"s)) << c.what;
    }
    EXPECT_TRUE(log.messages.empty());
}

TEST_P(Framing, BadPrefixIsRejectedBeforeThePayload) {
    struct Case {
        std::string prefix;
        std::string error;
    };
    const Case cases[] = {
        {"\xff\xff\xff\xff\xff\xff\xff\xff"s, "frame length negative"},
        {"\x80\0\0\0\0\0\0\0"s, "frame length negative"},
        {prefix_of(max_frame_size + 1), "frame too large"},
        {"\x7f\xff\xff\xff\xff\xff\xff\xff"s, "frame too large"},
    };
    for (const auto& c : cases) {
        stream s(GetParam());
        put_raw(s.writer, c.prefix + "rest");
        EXPECT_EQ(read(s.reader), std::unexpected(c.error));
        // Nothing after the prefix was consumed.
        EXPECT_EQ(take_raw(s.reader, 100), "rest");
    }
}

TEST_P(Framing, LargestFrameSizeIsAccepted) {
    stream s(GetParam());
    put_raw(s.writer, prefix_of(max_frame_size) + "abc");
    s.close_writer();
    EXPECT_EQ(read(s.reader), std::unexpected("end of file"s));
}

TEST_P(Framing, WriteRefusesAPayloadAboveTheLimitAndSendsNothing) {
    const std::size_t size = max_frame_size + 1;
    // Reserved, never touched: proves the payload is not read either.
    void* area = ::mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(area, MAP_FAILED);
    stream s(GetParam());
    EXPECT_EQ(write(s.writer, std::string_view(static_cast<const char*>(area), size)),
              std::unexpected("frame too large"s));
    ::munmap(area, size);
    ASSERT_TRUE(write(s.writer, "next").has_value());
    EXPECT_EQ(read(s.reader), "next");
}

// ---- error kinds and per-call bounds -------------------------------------------------------------------

}  // namespace

// Found by argument-dependent lookup, so it lives beside frame_error.
void PrintTo(const frame_error& e, std::ostream* os) {
    *os << "{kind " << static_cast<int>(e.kind) << ", \"" << e.text << "\", errno " << e.error_number << "}";
}

namespace {

TEST_P(Framing, EachReadFailureHasItsKindBesideTheText) {
    struct Case {
        std::string bytes;       // what the peer sends before hanging up
        std::int64_t max_size;
        frame_error expected;
    };
    const Case cases[] = {
        {"", max_frame_size, {frame_error_kind::end_of_file, "end of file"}},
        {"\0\0\0\0\0"s, max_frame_size, {frame_error_kind::truncated, "end of file"}},
        {prefix_of(10) + "abcd", max_frame_size, {frame_error_kind::truncated, "end of file"}},
        {prefix_of(1), max_frame_size, {frame_error_kind::truncated, "end of file"}},
        {"ÿÿÿÿÿÿÿÿ"s, max_frame_size, {frame_error_kind::bad_length, "frame length negative"}},
        {"\0\0\0\0\0\0\0"s, 16, {frame_error_kind::bad_length, "frame length negative"}},
        {prefix_of(max_frame_size + 1), max_frame_size, {frame_error_kind::bad_length, "frame too large"}},
        {frame_of("seventeen bytes!!"), 16, {frame_error_kind::bad_length, "frame too large"}},
        {frame_of("x"), 0, {frame_error_kind::bad_length, "frame too large"}},
        {frame_of("x"), -5, {frame_error_kind::bad_length, "frame too large"}},
    };
    for (const auto& c : cases) {
        stream s(GetParam());
        put_raw(s.writer, c.bytes);
        s.close_writer();
        EXPECT_EQ(read(s.reader, c.max_size), std::unexpected(c.expected)) << c.bytes.size() << " bytes sent";
    }
}

TEST_P(Framing, TheEndAfterAWholeFrameIsClean) {
    stream s(GetParam());
    put_raw(s.writer, frame_of("whole"));
    s.close_writer();
    EXPECT_EQ(read(s.reader, 64), "whole");
    EXPECT_EQ(read(s.reader, 64), std::unexpected(frame_error{frame_error_kind::end_of_file, "end of file"}));
}

TEST_P(Framing, AHugeClaimThatNeverArrivesIsTruncatedNotAnAllocation) {
    // 2^62 bytes announced and accepted by the bound: the buffer may only grow with what arrives.
    for (const std::string& sent : {prefix_of(std::int64_t{1} << 62), prefix_of(std::int64_t{1} << 62) + "abc"}) {
        stream s(GetParam());
        put_raw(s.writer, sent);
        s.close_writer();
        EXPECT_EQ(read(s.reader, std::numeric_limits<std::int64_t>::max()),
                  std::unexpected(frame_error{frame_error_kind::truncated, "end of file"}))
            << sent.size() << " bytes sent";
    }
}

// Makes `fd` non-blocking, as an event loop leaves its descriptors.
void set_non_blocking(int fd) { ASSERT_EQ(::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK), 0); }

TEST_P(Framing, ANonBlockingDescriptorIsWaitedForByRead) {
    stream s(GetParam());
    set_non_blocking(s.reader);
    const std::string payload = patterned(100'000);  // beyond the buffer given at once
    const std::string bytes = frame_of("first") + frame_of(payload);
    std::thread writer([&] {
        // Pauses inside the prefix, inside the first payload, between frames and inside the second payload.
        std::size_t sent = 0;
        for (std::size_t upto : {std::size_t{3}, std::size_t{10}, std::size_t{13}, std::size_t{40'000}, bytes.size()}) {
            ::usleep(2000);
            put_raw(s.writer, std::string_view(bytes).substr(sent, upto - sent));
            sent = upto;
        }
        s.close_writer();
    });
    const auto first = read(s.reader, max_frame_size);
    const auto second = read(s.reader, max_frame_size);
    const auto end = read(s.reader, max_frame_size);
    writer.join();
    EXPECT_EQ(first, "first");
    ASSERT_TRUE(second.has_value()) << second.error().text;
    EXPECT_TRUE(*second == payload) << second->size() << " bytes";
    EXPECT_EQ(end, std::unexpected(frame_error{frame_error_kind::end_of_file, "end of file"}));
}

TEST_P(Framing, ANonBlockingDescriptorIsWaitedForByWrite) {
    stream s(GetParam());
    set_non_blocking(s.writer);
    const std::string payload = patterned(1 << 20);  // far more than the stream holds
    const std::string expected = frame_of(payload);
    std::string received;
    std::thread slow_reader([&] {
        for (std::string piece = "-"; !piece.empty(); received += piece) {
            ::usleep(200);
            piece = take_raw(s.reader, 16384);
        }
    });
    const auto written = write(s.writer, payload);
    s.close_writer();
    slow_reader.join();
    ASSERT_TRUE(written.has_value()) << written.error();
    EXPECT_TRUE(received == expected) << "received " << received.size() << " bytes";
}

TEST_P(Framing, AFrameOfExactlyTheBoundIsRead) {
    stream s(GetParam());
    put_raw(s.writer, frame_of("sixteen bytes!!!") + frame_of("") + frame_of(""));
    EXPECT_EQ(read(s.reader, 16), "sixteen bytes!!!");
    EXPECT_EQ(read(s.reader, 0), "");
    EXPECT_EQ(read(s.reader, -1), "");  // a negative bound counts as 0
}

TEST_P(Framing, WriteRefusesAPayloadAboveItsBoundAndSendsNothing) {
    stream s(GetParam());
    EXPECT_EQ(write(s.writer, "abcd", 3), std::unexpected(frame_error{frame_error_kind::bad_length, "frame too large"}));
    EXPECT_EQ(write(s.writer, "x", -1), std::unexpected(frame_error{frame_error_kind::bad_length, "frame too large"}));
    ASSERT_TRUE(write(s.writer, "abc", 3).has_value());
    ASSERT_TRUE(write(s.writer, "", -1).has_value());
    s.close_writer();
    EXPECT_EQ(drain(s.reader), frame_of("abc") + frame_of(""));
}

TEST(FramingErrors, SystemFailuresCarryTheErrorNumber) {
    log_capture captured;
    EXPECT_EQ(read(-1, 64), std::unexpected(frame_error{frame_error_kind::system_failure, "unix error in read", EBADF}));
    EXPECT_EQ(write(-1, "x", 64),
              std::unexpected(frame_error{frame_error_kind::system_failure, "unix error in write", EBADF}));
    EXPECT_EQ(captured.messages.size(), 2u);
}

TEST_P(Framing, SignalsDoNotEndABlockedRead) {
    interrupting_signal interrupts;
    stream s(GetParam());
    const std::string bytes = frame_of("interrupted but complete");
    std::atomic<pid_t> reader_tid{0};
    result<std::string> got;
    std::thread reader([&] {
        reader_tid = ::gettid();
        got = read(s.reader);
    });
    while (reader_tid.load() == 0) sched_yield();
    // Interrupt the read before any byte, inside the prefix and inside the payload.
    std::size_t sent = 0;
    for (std::size_t upto : {std::size_t{3}, std::size_t{12}, bytes.size()}) {
        wait_until_blocked_in(reader_tid, {SYS_read});
        interrupting_signal::hit(reader);
        put_raw(s.writer, std::string_view(bytes).substr(sent, upto - sent));
        sent = upto;
        while (unread(s.reader) > 0) sched_yield();
    }
    reader.join();
    EXPECT_EQ(got, "interrupted but complete");
}

TEST_P(Framing, SignalsDoNotEndABlockedWrite) {
    interrupting_signal interrupts;
    stream s(GetParam());
    // A full stream first: the prefix's write then blocks before sending anything, so the first signal makes
    // it fail with EINTR; the later ones hit payload writes that have sent part of their bytes.
    const std::string filler = fill(s.writer);
    const std::string payload = patterned(1 << 20);
    std::atomic<pid_t> writer_tid{0};
    result<void> written;
    std::thread writer([&] {
        writer_tid = ::gettid();
        written = write(s.writer, payload);
    });
    while (writer_tid.load() == 0) sched_yield();
    std::string received;
    for (int round = 0; round < 4; ++round) {
        wait_until_blocked_in(writer_tid, {SYS_write, SYS_sendto});
        interrupting_signal::hit(writer);
        received += take_raw(s.reader, 65536);
    }
    const std::string expected = filler + frame_of(payload);
    while (received.size() < expected.size()) received += take_raw(s.reader, 65536);
    writer.join();
    s.close_writer();
    received += drain(s.reader);
    ASSERT_TRUE(written.has_value()) << written.error();
    EXPECT_TRUE(received == expected) << "received " << received.size() << " bytes";
}

TEST_P(Framing, WritingToAClosedReaderFailsWithoutSigpipe) {
    struct sigaction previous {}, fatal {};
    fatal.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &fatal, &previous);
    log_capture log;
    stream s(GetParam());
    s.close_reader();

    EXPECT_EQ(write(s.writer, "hello"), std::unexpected("unix error in write"s));

    sigset_t pending, mask;
    ::sigpending(&pending);
    ::pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE));
    EXPECT_FALSE(sigismember(&mask, SIGPIPE));
    ::sigaction(SIGPIPE, &previous, nullptr);
    EXPECT_EQ(log.messages,
              (std::vector<logged>{{"quarvel", log::level::error, "Unix error in write: "s + std::strerror(EPIPE)}}));
}

// ---- system-call failures -----------------------------------------------------------------------------

TEST(FramingErrors, ReadFailureIsReportedAndLogged) {
    stream p(transport::pipe);
    for (int fd : {-1, p.writer}) {  // not a descriptor; a write-only descriptor
        log_capture log;
        EXPECT_EQ(read(fd), std::unexpected("unix error in read"s)) << fd;
        EXPECT_EQ(log.messages,
                  (std::vector<logged>{{"quarvel", log::level::error, "Unix error in read: "s + std::strerror(EBADF)}}));
    }
}

TEST(FramingErrors, WriteFailureIsReportedAndLogged) {
    stream p(transport::pipe);
    for (int fd : {-1, p.reader}) {  // not a descriptor; a read-only descriptor
        log_capture log;
        EXPECT_EQ(write(fd, "x"), std::unexpected("unix error in write"s)) << fd;
        EXPECT_EQ(log.messages,
                  (std::vector<logged>{{"quarvel", log::level::error, "Unix error in write: "s + std::strerror(EBADF)}}));
    }
}

}  // namespace
}  // namespace quarvel
