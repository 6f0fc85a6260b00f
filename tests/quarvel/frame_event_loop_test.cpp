// The event loop's side of framing: a reader that never blocks and reads ahead, a writer that queues.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <quarvel/asn.hpp>
#include <quarvel/framing.hpp>
#include <quarvel/log.hpp>

#include "descriptor_kinds.hpp"

namespace quarvel {
namespace {

using namespace std::string_literals;
using testing::frame_of;
using testing::put_raw;
using testing::unread;
using testing::channel_pair;
using testing::descriptor_kind;
using next_result = frame_result<std::optional<std::string>>;

const next_result incomplete = std::nullopt;

// Ends the test program with a message when a call that must return at once has not returned in time: a
// blocked call would otherwise hang the suite without a word.
class watchdog {
public:
    explicit watchdog(std::string what) : what_(std::move(what)), thread_([this] { watch(); }) {}
    ~watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        woken_.notify_one();
        thread_.join();
    }

private:
    void watch() {
        std::unique_lock lock(mutex_);
        if (!woken_.wait_for(lock, std::chrono::seconds(20), [this] { return done_; })) {
            std::fprintf(stderr, "blocked: %s\n", what_.c_str());
            std::abort();
        }
    }
    std::string what_;
    std::mutex mutex_;
    std::condition_variable woken_;
    bool done_ = false;
    std::thread thread_;
};

std::string patterned(std::size_t size, int seed) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + static_cast<std::size_t>(seed)) % 251);
    return s;
}

// ---- reading ------------------------------------------------------------------------------------------

TEST(ReadAvailable, NeverBlocksWhateverTheDescriptor) {
    struct Case {
        const char* what;
        std::string sent;
        next_result first;  // what the call gives
    };
    const Case cases[] = {
        {"nothing", "", incomplete},
        {"part of a prefix", "\0\0\0\0\0"s, incomplete},
        {"a prefix and part of its payload", frame_of("hello").substr(0, 10), incomplete},
        {"a frame and part of the next", frame_of("one") + "\0\0"s, "one"s},
    };
    for (descriptor_kind kind : testing::every_kind)
        for (bool nonblocking : {false, true})
            for (const auto& c : cases) {
                const std::string what = std::string(testing::name_of(kind)) +
                                         (nonblocking ? ", non-blocking, " : ", blocking, ") + c.what;
                channel_pair link(kind, nonblocking);
                ASSERT_TRUE(link.open_ok()) << what;
                put_raw(link.writer, c.sent);
                // TCP hands bytes over asynchronously, even on loopback: wait until they are there.
                for (int i = 0; i < 1000 && unread(link.reader) < static_cast<int>(c.sent.size()); ++i) ::usleep(1000);
                frame_reader reader;
                watchdog guard(what);
                EXPECT_EQ(read_available(reader, link.reader), c.first) << what;
                EXPECT_EQ(read_available(reader, link.reader), incomplete) << what;
            }
}

TEST(ReadAvailable, HandsOutEveryFrameOfAChunkInOrder) {
    // Many frames in one write: the first call reads them all, the later ones need no descriptor at all.
    std::vector<std::string> payloads;
    std::string bytes;
    for (int i = 0; i < 3000; ++i) {
        payloads.push_back(patterned(static_cast<std::size_t>(i % 97), i));
        bytes += frame_of(payloads.back());
    }
    channel_pair link(descriptor_kind::socket_pair, true);
    std::thread sender([&] { put_raw(link.writer, bytes); });
    std::vector<std::string> received;
    frame_reader reader;
    while (received.size() < payloads.size()) {
        pollfd readable{link.reader, POLLIN, 0};
        ASSERT_GE(::poll(&readable, 1, 10'000), 0);
        for (;;) {
            auto got = read_available(reader, link.reader);
            ASSERT_TRUE(got.has_value()) << got.error().text;
            if (!*got) break;
            received.push_back(std::move(**got));
        }
    }
    sender.join();
    EXPECT_EQ(received, payloads);
    EXPECT_EQ(reader.buffered(), 0u);
    link.close_writer();
    EXPECT_EQ(read_available(reader, link.reader),
              next_result(std::unexpected(frame_error{frame_error_kind::end_of_file, "end of file"})));
}

TEST(ReadAvailable, FramesSplitAtEveryByteArriveWhole) {
    const std::string bytes = frame_of("first") + frame_of("") + frame_of("third frame") + frame_of("4");
    const std::vector<std::string> payloads = {"first", "", "third frame", "4"};
    for (std::size_t split = 0; split <= bytes.size(); ++split) {
        channel_pair link(descriptor_kind::socket_pair, false);
        frame_reader reader;
        std::vector<std::string> received;
        const auto take_all = [&] {
            for (;;) {
                auto got = read_available(reader, link.reader);
                ASSERT_TRUE(got.has_value()) << got.error().text;
                if (!*got) return;
                received.push_back(std::move(**got));
            }
        };
        put_raw(link.writer, std::string_view(bytes).substr(0, split));
        take_all();
        put_raw(link.writer, std::string_view(bytes).substr(split));
        take_all();
        EXPECT_EQ(received, payloads) << "split at " << split;
        link.close_writer();
        EXPECT_EQ(read_available(reader, link.reader).error().kind, frame_error_kind::end_of_file) << split;
    }
}

TEST(ReadAvailable, ALargePayloadIsReadIntoItsBuffer) {
    const std::string payload = patterned(1'000'000, 3);
    channel_pair link(descriptor_kind::pipe, false);
    std::thread sender([&] { put_raw(link.writer, frame_of(payload) + frame_of("after")); });
    frame_reader reader;
    std::vector<std::string> received;
    while (received.size() < 2) {
        pollfd readable{link.reader, POLLIN, 0};
        ASSERT_GE(::poll(&readable, 1, 10'000), 0);
        // Until it has nothing: a frame read ahead would otherwise wait for a poll that nothing wakes.
        for (;;) {
            auto got = read_available(reader, link.reader);
            ASSERT_TRUE(got.has_value()) << got.error().text;
            // Never more than one frame and one chunk.
            EXPECT_LE(reader.held() + reader.buffered(),
                      frame_prefix_size + payload.size() + frame_reader::read_chunk_size);
            if (!*got) break;
            received.push_back(std::move(**got));
        }
    }
    sender.join();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_TRUE(received[0] == payload);
    EXPECT_EQ(received[1], "after");
}

TEST(ReadAvailable, AFeedWaitsForTheBytesReadAhead) {
    channel_pair link(descriptor_kind::socket_pair, false);
    put_raw(link.writer, frame_of("one") + frame_of("two"));
    frame_reader reader;
    EXPECT_EQ(read_available(reader, link.reader), next_result("one"s));
    EXPECT_EQ(reader.buffered(), 11u);
    EXPECT_EQ(reader.feed(frame_of("out of turn")), 0u);  // the bytes read ahead come first
    EXPECT_EQ(reader.next(), next_result("two"s));
    EXPECT_EQ(reader.buffered(), 0u);
    EXPECT_EQ(reader.feed(frame_of("three")), 13u);
    EXPECT_EQ(reader.next(), next_result("three"s));
}

// ---- writing ------------------------------------------------------------------------------------------

TEST(FrameWriter, RefusesAPayloadAboveItsBoundAndQueuesNothing) {
    frame_writer writer(4);
    EXPECT_EQ(writer.push("abcd"), frame_result<void>());
    EXPECT_EQ(writer.pending(), 12u);
    EXPECT_EQ(writer.push("abcde"), frame_result<void>(std::unexpected(frame_error{frame_error_kind::bad_length,
                                                                                     "frame too large"})));
    EXPECT_EQ(writer.pending(), 12u);
    frame_writer none(-1);
    EXPECT_EQ(none.push("").has_value(), true);
    EXPECT_EQ(none.push("x").error().kind, frame_error_kind::bad_length);
}

// A writer whose peer reads nothing for a while: each call returns at once with the rest still queued;
// once the peer reads, every frame arrives whole and in order.
TEST(FrameWriter, WritesWhatThePeerTakesAndKeepsTheRest) {
    for (descriptor_kind kind : testing::every_kind)
        for (bool nonblocking : {false, true}) {
            const std::string what = std::string(testing::name_of(kind)) + (nonblocking ? ", non-blocking" : ", blocking");
            channel_pair link(kind, nonblocking);
            ASSERT_TRUE(link.open_ok()) << what;
            frame_writer writer;
            std::vector<std::string> payloads;
            for (int i = 0; i < 100; ++i) {
                payloads.push_back(patterned(static_cast<std::size_t>(300'000 + i), i));
                ASSERT_TRUE(writer.push(payloads.back()).has_value());
            }
            ASSERT_TRUE(writer.push_cmd(cmd{cmd::Success{}}).has_value());
            {
                watchdog guard(what);
                ASSERT_TRUE(write_available(writer, link.writer).has_value()) << what;
                ASSERT_TRUE(write_available(writer, link.writer).has_value()) << what;
            }
            EXPECT_GT(writer.pending(), 0u) << what << ": 30 MB fit no descriptor's buffer";

            std::vector<std::string> received;
            std::optional<cmd> last;
            std::thread peer([&] {
                for (std::size_t i = 0; i < payloads.size(); ++i) {
                    auto got = read(link.reader, max_frame_size);
                    if (!got) return;
                    received.push_back(std::move(*got));
                }
                auto got = read_cmd(link.reader, max_frame_size);
                if (got) last = std::move(*got);
            });
            while (writer.pending() > 0) {
                pollfd writable{link.writer, POLLOUT, 0};
                ASSERT_GE(::poll(&writable, 1, 10'000), 0);
                ASSERT_TRUE(write_available(writer, link.writer).has_value()) << what;
            }
            peer.join();
            EXPECT_TRUE(received == payloads) << what;
            EXPECT_EQ(last, std::optional<cmd>(cmd{cmd::Success{}})) << what;
        }
}

TEST(FrameWriter, APeerThatIsGoneIsAFailureNotASignal) {
    for (descriptor_kind kind : {descriptor_kind::socket_pair, descriptor_kind::pipe}) {
        channel_pair link(kind, false);
        link.close_reader();
        std::vector<std::string> logged;
        log::set_reporter([&](const log::source&, log::level, std::string_view, std::string_view text) {
            logged.emplace_back(text);
        });
        frame_writer writer;
        ASSERT_TRUE(writer.push("to nobody").has_value());
        const frame_error broken{frame_error_kind::system_failure, "unix error in write", EPIPE};
        EXPECT_EQ(write_available(writer, link.writer), frame_result<void>(std::unexpected(broken)));
        EXPECT_EQ(write_available(writer, link.writer), frame_result<void>(std::unexpected(broken)));  // repeated
        log::set_reporter({});
        EXPECT_EQ(logged, std::vector<std::string>{"Unix error in write: "s + std::strerror(EPIPE)});
    }
}

TEST(FrameWriter, AnEmptyQueueWritesNothing) {
    channel_pair link(descriptor_kind::socket_pair, false);
    frame_writer writer;
    EXPECT_TRUE(write_available(writer, link.writer).has_value());
    EXPECT_EQ(unread(link.reader), 0);
    ASSERT_TRUE(writer.push("").has_value());
    EXPECT_TRUE(write_available(writer, link.writer).has_value());
    EXPECT_EQ(writer.pending(), 0u);
    EXPECT_EQ(unread(link.reader), 8);
}

}  // namespace
}  // namespace quarvel
