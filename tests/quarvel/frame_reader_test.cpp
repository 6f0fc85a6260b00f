#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <quarvel/asn.hpp>
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
using next_result = frame_result<std::optional<std::string>>;

const next_result incomplete = std::nullopt;
const frame_error clean_end{frame_error_kind::end_of_file, "end of file"};
const frame_error cut_short{frame_error_kind::truncated, "end of file"};
const frame_error negative{frame_error_kind::bad_length, "frame length negative"};
const frame_error too_large{frame_error_kind::bad_length, "frame too large"};

next_result refused(const frame_error& e) { return std::unexpected(e); }

// ---- feeding bytes by hand ----------------------------------------------------------------------------

struct step {
    std::string bytes;
    std::size_t taken;  // what feed takes of `bytes`
    next_result next;   // what next() says after it
};

// Every byte of `frame` in a feed of its own: the payload comes out after the last one.
std::vector<step> one_byte_at_a_time(const std::string& frame, const std::string& payload) {
    std::vector<step> steps;
    for (std::size_t i = 0; i < frame.size(); ++i)
        steps.push_back({frame.substr(i, 1), 1, i + 1 == frame.size() ? next_result(payload) : incomplete});
    return steps;
}

TEST(FrameReader, FeedTakesOneFrameAtATime) {
    struct Case {
        const char* what;
        std::int64_t max_size;
        std::vector<step> steps;
        frame_error at_end;  // end_of_stream() after the last step
        std::size_t held_at_end;
    };
    const Case cases[] = {
        {"a whole frame", max_frame_size, {{frame_of("hello"), 13, "hello"}}, clean_end, 0},
        {"byte by byte", max_frame_size, one_byte_at_a_time(frame_of("abc"), "abc"), clean_end, 0},
        {"two frames in one feed: the first feed stops at the end of the first",
         max_frame_size,
         {{frame_of("one") + frame_of("two!"), 11, "one"}, {frame_of("two!"), 12, "two!"}},
         clean_end,
         0},
        {"an empty payload", max_frame_size, {{prefix_of(0) + "next", 8, ""s}}, clean_end, 0},
        {"a prefix in two parts",
         max_frame_size,
         {{prefix_of(3).substr(0, 5), 5, incomplete}, {prefix_of(3).substr(5) + "abcdef", 6, "abc"}},
         clean_end,
         0},
        {"a frame of exactly the bound", 3, {{frame_of("abc"), 11, "abc"}}, clean_end, 0},
        {"a negative prefix, then bytes that are not taken",
         max_frame_size,
         {{prefix_of(-1) + "rest", 8, refused(negative)}, {"more", 0, refused(negative)}},
         negative,
         8},
        {"the most negative prefix", max_frame_size, {{"\x80\0\0\0\0\0\0\0"s, 8, refused(negative)}}, negative, 8},
        {"a prefix above the bound",
         16,
         {{prefix_of(17) + "x", 8, refused(too_large)}, {"x", 0, refused(too_large)}},
         too_large,
         8},
        {"a negative bound counts as 0",
         -1,
         {{frame_of("") + frame_of("x"), 8, ""s}, {frame_of("x"), 8, refused(too_large)}},
         too_large,
         8},
        {"the end inside the prefix", max_frame_size, {{prefix_of(10).substr(0, 5), 5, incomplete}}, cut_short, 5},
        {"the end right after the prefix", max_frame_size, {{prefix_of(1), 8, incomplete}}, cut_short, 8},
        {"the end inside the payload", max_frame_size, {{prefix_of(10) + "abcd", 12, incomplete}}, cut_short, 12},
        {"nothing fed", max_frame_size, {{"", 0, incomplete}}, clean_end, 0},
    };
    for (const auto& c : cases) {
        frame_reader reader(c.max_size);
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const auto& s = c.steps[i];
            EXPECT_EQ(reader.feed(s.bytes), s.taken) << c.what << ", step " << i;
            EXPECT_EQ(reader.next(), s.next) << c.what << ", step " << i;
        }
        EXPECT_EQ(reader.end_of_stream(), c.at_end) << c.what;
        EXPECT_EQ(reader.held(), c.held_at_end) << c.what;
    }
}

TEST(FrameReader, TakesNothingWhileACompleteFrameWaits) {
    frame_reader reader;
    EXPECT_EQ(reader.feed(frame_of("a") + "\0\0"s), 9u);
    EXPECT_EQ(reader.feed("\0\0"s), 0u);
    EXPECT_EQ(reader.held(), 9u);
    EXPECT_EQ(reader.end_of_stream(), clean_end);  // the frame held is whole
    EXPECT_EQ(reader.next(), "a");
    EXPECT_EQ(reader.held(), 0u);
    EXPECT_EQ(reader.feed("\0\0"s), 2u);
    EXPECT_EQ(reader.end_of_stream(), cut_short);
}

TEST(FrameReader, AHugeClaimHoldsOnlyTheBytesThatArrived) {
    frame_reader reader(std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(reader.feed(prefix_of(std::int64_t{1} << 62) + "abc"), 11u);
    EXPECT_EQ(reader.next(), incomplete);
    EXPECT_EQ(reader.held(), 11u);
    EXPECT_EQ(reader.feed(std::string(1000, 'x')), 1000u);
    EXPECT_EQ(reader.held(), 1011u);
    EXPECT_EQ(reader.end_of_stream(), cut_short);
}

TEST(FrameReader, AFrameLargerThanTheFirstBufferIsAssembledInOrder) {
    std::string payload(300'000, '\0');
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7 % 251);
    const std::string bytes = frame_of(payload);
    frame_reader reader;
    std::size_t fed = 0;
    for (std::size_t piece : {std::size_t{5}, std::size_t{70'000}, std::size_t{1}, bytes.size()}) {
        const std::size_t upto = std::min(piece, bytes.size() - fed);
        EXPECT_EQ(reader.feed(std::string_view(bytes).substr(fed, upto)), upto);
        fed += upto;
    }
    const auto got = reader.next();
    ASSERT_TRUE(got.has_value() && got->has_value());
    EXPECT_TRUE(**got == payload);
}

// ---- reading what a descriptor has ---------------------------------------------------------------------

// A connected pair of stream sockets whose receiving end never blocks, as an event loop keeps it.
struct connection {
    int fds[2] = {-1, -1};
    connection() {
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0)
            ::fcntl(fds[1], F_SETFL, ::fcntl(fds[1], F_GETFL) | O_NONBLOCK);
    }
    ~connection() {
        for (int fd : fds)
            if (fd >= 0) ::close(fd);
    }
    connection(const connection&) = delete;
    connection& operator=(const connection&) = delete;
    int sender() const { return fds[0]; }
    int receiver() const { return fds[1]; }
    void send(std::string_view bytes) const {
        ASSERT_EQ(::write(sender(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    void hang_up() {
        ::close(fds[0]);
        fds[0] = -1;
    }
};

TEST(FrameReader, ReadAvailableTakesWhatIsThereAndNoMore) {
    struct Case {
        const char* what;
        std::int64_t max_size;
        std::string sent;
        int hang_up_before;                // the call before which the peer hangs up, -1 for never
        std::vector<next_result> results;  // of successive read_available calls
        int left_unread;  // in the descriptor or read ahead by the reader
    };
    const Case cases[] = {
        {"two frames, then nothing yet", max_frame_size, frame_of("one") + frame_of("two"), -1,
         {"one", "two", incomplete}, 0},
        {"one frame at a time: the next stays in the descriptor", max_frame_size,
         frame_of("one") + frame_of("second"), -1, {"one"}, 14},
        {"a frame still arriving", max_frame_size, frame_of("one") + prefix_of(5) + "ab", -1,
         {"one", incomplete, incomplete}, 0},
        {"nothing sent", max_frame_size, "", -1, {incomplete}, 0},
        {"a clean hang-up after a frame", max_frame_size, frame_of("one"), 0,
         {"one", refused(clean_end), refused(clean_end)}, 0},
        {"a hang-up before anything", max_frame_size, "", 0, {refused(clean_end)}, 0},
        {"a hang-up inside the prefix", max_frame_size, "\0\0\0"s, 0, {refused(cut_short)}, 0},
        {"a hang-up inside the payload", max_frame_size, prefix_of(5) + "ab", 0, {refused(cut_short)}, 0},
        {"a negative prefix: refused, the rest unread", max_frame_size, prefix_of(-2) + "rest", -1,
         {refused(negative), refused(negative)}, 4},
        {"a claim above the bound: refused, the rest unread", 1024, prefix_of(std::int64_t{1} << 62) + "abc", 0,
         {refused(too_large)}, 3},
        {"a huge claim accepted waits for its bytes, then the hang-up", std::numeric_limits<std::int64_t>::max(),
         prefix_of(std::int64_t{1} << 62) + "abc", 1, {incomplete, refused(cut_short)}, 0},
    };
    for (const auto& c : cases) {
        connection link;
        link.send(c.sent);
        frame_reader reader(c.max_size);
        for (std::size_t i = 0; i < c.results.size(); ++i) {
            if (static_cast<int>(i) == c.hang_up_before) link.hang_up();
            EXPECT_EQ(read_available(reader, link.receiver()), c.results[i]) << c.what << ", call " << i;
        }
        // The bytes of later frames stay in the descriptor or in the reader, never lost.
        EXPECT_EQ(unread(link.receiver()) + static_cast<int>(reader.buffered()), c.left_unread) << c.what;
    }
}

struct logged {
    std::string source;
    log::level lvl;
    std::string text;
    friend bool operator==(const logged&, const logged&) = default;
};

TEST(FrameReader, ReadAvailableReportsAndLogsAFailedRead) {
    std::vector<logged> messages;
    const auto previous_level = log::current_level();
    log::set_level(log::level::debug);
    log::set_reporter([&](const log::source& from, log::level lvl, std::string_view, std::string_view text) {
        messages.push_back({std::string(from.name), lvl, std::string(text)});
    });
    frame_reader reader;
    const auto got = read_available(reader, -1);
    log::set_reporter({});
    log::set_level(previous_level);

    EXPECT_EQ(got, refused(frame_error{frame_error_kind::system_failure, "unix error in read", EBADF}));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE((messages[0] == logged{"quarvel", log::level::error, "Unix error in read: "s + std::strerror(EBADF)}))
        << messages[0].source << ": " << messages[0].text;
}

TEST(FrameReader, ReadAvailableCmdDecodesEachWholeFrame) {
    using next_cmd = frame_result<std::optional<cmd>>;
    const cmd hello{cmd::Client_hello{client_or_worker::Worker, worker_protocol_version}};
    const cmd success{cmd::Success{}};
    connection link;
    const std::string trailing_bytes = "\xB2\x02\x05\x00\x00"s;  // one command, then a byte too many
    link.send(frame_of(asn::cmd_to_str(hello)) + frame_of(trailing_bytes) + frame_of(asn::cmd_to_str(success)));
    frame_reader reader;
    EXPECT_EQ(read_available_cmd(reader, link.receiver()), next_cmd(hello));
    // A payload the decoder refuses is whole: the stream goes on after it.
    EXPECT_EQ(read_available_cmd(reader, link.receiver()),
              std::unexpected(frame_error{frame_error_kind::decode_failure, "trailing bytes"}));
    EXPECT_EQ(read_available_cmd(reader, link.receiver()), next_cmd(success));
    EXPECT_EQ(read_available_cmd(reader, link.receiver()), next_cmd(std::nullopt));
    link.hang_up();
    EXPECT_EQ(read_available_cmd(reader, link.receiver()), std::unexpected(clean_end));
}

// ---- an event loop over many peers ---------------------------------------------------------------------

TEST(FrameReader, APollLoopAssemblesEveryPeersCommandsInOrder) {
    constexpr int peer_count = 4;
    constexpr int dies_mid_frame = 3;  // this peer hangs up inside a frame after its commands
    struct peer {
        connection link;
        std::vector<cmd> sent;
        frame_reader reader{1024};
        std::vector<cmd> received;
        std::optional<frame_error> end;
    };
    std::vector<peer> peers(peer_count);
    std::vector<std::thread> writers;
    for (int i = 0; i < peer_count; ++i) {
        const uuid job{{static_cast<std::uint8_t>(i), 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}};
        auto& p = peers[static_cast<std::size_t>(i)];
        p.sent = {
            {cmd::Client_hello{client_or_worker::Worker, worker_protocol_version}},
            {cmd::Output{job, "peer " + std::to_string(i) + ", line 1\n"}},
            {cmd::Output{job, "peer " + std::to_string(i) + ", line 2\n"}},
            {cmd::Success{}},
        };
        std::string bytes;
        for (const auto& c : p.sent) bytes += frame_of(asn::cmd_to_str(c));
        if (i == dies_mid_frame) bytes += prefix_of(20) + "\xA0\x12";
        // One byte per write with a pause after each, so the peers' bytes interleave at every position.
        writers.emplace_back([&p, bytes, i] {
            for (char byte : bytes) {
                if (::write(p.link.sender(), &byte, 1) != 1) break;
                ::usleep(static_cast<useconds_t>(50 + 20 * i));
            }
            p.link.hang_up();
        });
    }

    for (int open = peer_count; open > 0;) {
        std::vector<pollfd> watched;
        std::vector<peer*> watched_peers;
        for (auto& p : peers)
            if (!p.end) {
                watched.push_back({p.link.receiver(), POLLIN, 0});
                watched_peers.push_back(&p);
            }
        ASSERT_GE(ign_intr(::poll, watched.data(), static_cast<nfds_t>(watched.size()), -1), 0) << std::strerror(errno);
        for (std::size_t w = 0; w < watched.size(); ++w) {
            if (watched[w].revents == 0) continue;
            peer& p = *watched_peers[w];
            for (;;) {
                auto c = read_available_cmd(p.reader, p.link.receiver());
                if (!c) {
                    p.end = c.error();
                    --open;
                    break;
                }
                if (!*c) break;
                p.received.push_back(std::move(**c));
            }
        }
    }
    for (auto& w : writers) w.join();

    for (int i = 0; i < peer_count; ++i) {
        const auto& p = peers[static_cast<std::size_t>(i)];
        EXPECT_EQ(p.received, p.sent) << "peer " << i;
        EXPECT_EQ(p.end, i == dies_mid_frame ? cut_short : clean_end) << "peer " << i;
    }
    EXPECT_EQ(peers[dies_mid_frame].reader.held(), 10u);  // the prefix and the two bytes that came
}

}  // namespace
}  // namespace quarvel
