// Hostile bytes for the library's readers: each gives its message, allocates nothing near what the
// bytes announce, and never crashes.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include <der/element.hpp>
#include <quarvel/asn.hpp>
#include <quarvel/framing.hpp>

namespace {

std::string octets(std::initializer_list<unsigned> list) {
    std::string s;
    for (unsigned o : list) s += static_cast<char>(o);
    return s;
}

// SEQUENCE headers nested `depth` deep, each with a minimal length announcing everything inside it.
std::string nested_headers(std::size_t depth) {
    std::vector<std::string> headers;  // innermost first
    std::size_t inside = 0;
    for (std::size_t i = 0; i < depth; ++i) {
        std::string h(1, '\x30');
        if (inside < 0x80) {
            h += static_cast<char>(inside);
        } else {
            std::string length;
            for (std::size_t n = inside; n > 0; n >>= 8) length.insert(length.begin(), static_cast<char>(n & 0xff));
            h += static_cast<char>(0x80 | length.size());
            h += length;
        }
        inside += h.size();
        headers.push_back(std::move(h));
    }
    std::string s;
    s.reserve(inside);
    for (auto it = headers.rbegin(); it != headers.rend(); ++it) s += *it;
    return s;
}

TEST(HostileInput, ElementReaderAnswersWithAMessage) {
    struct Case {
        const char* what;
        std::string input;
        std::string message_start;
    };
    const Case cases[] = {
        {"a length of 2^62 - 1 on eight octets of input",
         octets({0x04, 0x88, 0x3f, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}),
         "Unexpected EOF (msg String.sub / Bytes.sub): "},
        {"a length above 2^62 - 1", octets({0x04, 0x88, 0x40, 0, 0, 0, 0, 0, 0, 0}), "Header: at "},
        {"100,000 nested headers", nested_headers(100'000), "nesting deeper than 64 levels"},
        {"a tag number in nine octets", octets({0x1f, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x01, 0x00}),
         "Header: at "},
    };
    for (const auto& c : cases) {
        const auto r = der::parse(c.input);
        ASSERT_FALSE(r) << c.what;
        EXPECT_TRUE(r.error().starts_with(c.message_start)) << c.what << ": " << r.error().substr(0, 200);
    }
}

TEST(HostileInput, TagNumbersUpToEightOctetsAreRead) {
    // 0x7f in each of eight octets: the largest number the reader takes, 2^56 - 1.
    const auto r = der::parse(octets({0x1f, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f, 0x00}));
    ASSERT_TRUE(r) << r.error();
    EXPECT_EQ(r->root.tag.number, (std::uint64_t{1} << 56) - 1);
    EXPECT_FALSE(quarvel::asn::exec_of_str(octets({0x1f, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f, 0x00})));
}

TEST(HostileInput, DecodersRefuseNestedHeadersBeforeLookingAtTypes) {
    const auto bomb = nested_headers(100'000);
    ASSERT_GT(bomb.size(), 300'000u);
    const std::string deep = "nesting deeper than 64 levels";
    EXPECT_EQ(quarvel::asn::exec_of_str(bomb).error().substr(0, 200), deep);
    EXPECT_EQ(quarvel::asn::state_of_str(bomb).error().substr(0, 200), deep);
    EXPECT_EQ(quarvel::asn::cmd_of_str(bomb).error().substr(0, 200), deep);
}

TEST(HostileInput, FramesAnnouncingTooMuchOrLessThanNothingAreRefused) {
    struct Case {
        const char* what;
        std::string prefix;
        const char* message;
    };
    const Case cases[] = {
        {"1 GB announced on a short stream", octets({0, 0, 0, 0, 0x40, 0, 0, 0}) + "short", "frame too large"},
        {"2^63 - 1 announced", octets({0x7f, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}), "frame too large"},
        {"a negative length", octets({0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xfe}), "frame length negative"},
    };
    for (const auto& c : cases) {
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        ASSERT_EQ(::write(fds[1], c.prefix.data(), c.prefix.size()), static_cast<ssize_t>(c.prefix.size()));
        ::close(fds[1]);
        const auto r = quarvel::read(fds[0]);
        ::close(fds[0]);
        ASSERT_FALSE(r) << c.what;
        EXPECT_EQ(r.error(), c.message) << c.what;
    }
}

}  // namespace
