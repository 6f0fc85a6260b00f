// The blocking operations with a timeout for the whole frame.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

#include <quarvel/framing.hpp>

#include "descriptor_kinds.hpp"

namespace quarvel {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using testing::frame_of;
using testing::put_raw;
using testing::unread;
using testing::channel_pair;
using testing::descriptor_kind;

const frame_error timed_out{frame_error_kind::timed_out, "timed out"};

// Writes to `fd` until it takes no more, down to single bytes; returns how many it took.
std::size_t fill(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    std::size_t total = 0;
    const std::string chunk(4096, 'f');
    for (std::size_t size : {std::size_t{4096}, std::size_t{1}})
        for (ssize_t n; (n = ::write(fd, chunk.data(), size)) > 0;) total += static_cast<std::size_t>(n);
    ::fcntl(fd, F_SETFL, flags);
    return total;
}

// Reads and drops `count` bytes.
void discard(int fd, std::size_t count) {
    std::string buffer(65536, '\0');
    while (count > 0) {
        const ssize_t n = ::read(fd, buffer.data(), std::min(count, buffer.size()));
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        ASSERT_GT(n, 0) << std::strerror(errno);
        count -= static_cast<std::size_t>(n);
    }
}

struct TimeoutCase {
    descriptor_kind kind;
    bool nonblocking;
};

std::string describe(const TimeoutCase& c) {
    return std::string(testing::name_of(c.kind)) + (c.nonblocking ? ", non-blocking" : ", blocking");
}

const std::vector<TimeoutCase> every_descriptor = [] {
    std::vector<TimeoutCase> all;
    for (descriptor_kind kind : testing::every_kind)
        for (bool nonblocking : {false, true}) all.push_back({kind, nonblocking});
    return all;
}();

TEST(FramingTimeout, ATimeoutBeforeTheFrameLeavesTheStreamUsable) {
    for (const auto& c : every_descriptor) {
        channel_pair link(c.kind, c.nonblocking);
        ASSERT_TRUE(link.open_ok()) << describe(c);
        EXPECT_EQ(read(link.reader, max_frame_size, 20ms), frame_result<std::string>(std::unexpected(timed_out)))
            << describe(c);
        put_raw(link.writer, frame_of("late") + frame_of("now"));
        EXPECT_EQ(read(link.reader, max_frame_size, 10'000ms), frame_result<std::string>("late")) << describe(c);
        // A frame already there needs no time at all.
        EXPECT_EQ(read(link.reader, max_frame_size, 0ms), frame_result<std::string>("now")) << describe(c);
    }
}

TEST(FramingTimeout, ATimeoutInsideAFrameIsReported) {
    const std::string partial[] = {frame_of("hello").substr(0, 5), frame_of("hello").substr(0, 10)};
    for (const auto& c : every_descriptor)
        for (const auto& sent : partial) {
            channel_pair link(c.kind, c.nonblocking);
            put_raw(link.writer, sent);
            EXPECT_EQ(read(link.reader, max_frame_size, 30ms), frame_result<std::string>(std::unexpected(timed_out)))
                << describe(c) << ", " << sent.size() << " bytes sent";
        }
}

TEST(FramingTimeout, AWriteThatCannotStartLeavesTheStreamUsable) {
    for (const auto& c : every_descriptor) {
        channel_pair link(c.kind, c.nonblocking);
        const std::size_t filler = fill(link.writer);
        EXPECT_EQ(write(link.writer, "blocked", max_frame_size, 20ms), frame_result<void>(std::unexpected(timed_out)))
            << describe(c);
        discard(link.reader, filler);
        EXPECT_EQ(unread(link.reader), 0) << describe(c) << ": nothing of the frame left";
        EXPECT_EQ(write(link.writer, "then", max_frame_size, 10'000ms), frame_result<void>()) << describe(c);
        EXPECT_EQ(read(link.reader, max_frame_size, 10'000ms), frame_result<std::string>("then")) << describe(c);
    }
}

TEST(FramingTimeout, AWriteThatStallsInsideAFrameIsReported) {
    const std::string payload(32 << 20, 'p');  // more than any descriptor's buffer
    for (const auto& c : every_descriptor) {
        channel_pair link(c.kind, c.nonblocking);
        EXPECT_EQ(write(link.writer, payload, max_frame_size, 50ms), frame_result<void>(std::unexpected(timed_out)))
            << describe(c);
        EXPECT_GT(unread(link.reader), 0) << describe(c);
    }
}

TEST(FramingTimeout, CommandsMoveWithinTheTime) {
    channel_pair link(descriptor_kind::socket_pair, false);
    const cmd hello{cmd::Client_hello{client_or_worker::Worker, worker_protocol_version}};
    EXPECT_EQ(write_cmd(link.writer, hello, max_frame_size, 1000ms), frame_result<void>());
    EXPECT_EQ(read_cmd(link.reader, max_frame_size, 1000ms), frame_result<cmd>(hello));
    EXPECT_EQ(read_cmd(link.reader, max_frame_size, 10ms), frame_result<cmd>(std::unexpected(timed_out)));
    // The bound still applies first.
    EXPECT_EQ(write_cmd(link.writer, hello, 2, 1000ms).error().kind, frame_error_kind::bad_length);
}

TEST(FramingTimeout, AHangUpIsStillTheEndOfTheStream) {
    channel_pair link(descriptor_kind::socket_pair, false);
    put_raw(link.writer, "\0\0\0"s);
    link.close_writer();
    EXPECT_EQ(read(link.reader, max_frame_size, 1000ms),
              frame_result<std::string>(std::unexpected(frame_error{frame_error_kind::truncated, "end of file"})));
}

}  // namespace
}  // namespace quarvel
