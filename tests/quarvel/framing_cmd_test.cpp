#include <gtest/gtest.h>

#include <set>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <variant>
#include <vector>

#include <quarvel/asn.hpp>
#include <quarvel/framing.hpp>

namespace quarvel {
namespace {

using namespace std::string_literals;

// Both ends of a connected stream socket pair.
struct connection {
    int fds[2] = {-1, -1};
    connection() { ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds); }
    ~connection() {
        for (int fd : fds)
            if (fd >= 0) ::close(fd);
    }
    connection(const connection&) = delete;
    connection& operator=(const connection&) = delete;
    int sender() const { return fds[0]; }
    int receiver() const { return fds[1]; }
    void hang_up() {
        ::close(fds[0]);
        fds[0] = -1;
    }
};

std::string take_all(int fd) {
    std::string all;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) all.append(buffer, static_cast<std::size_t>(n));
    return all;
}

const uuid some_uuid{{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}};
const timestamp some_time{1'704'164'645, 0};  // 2024-01-02T03:04:05Z
const script_job build{"build", "linux", "make all"};
const vesk_build_job vesk{"hello-build", "hello"};

// One command of every alternative.
std::vector<cmd> one_of_each() {
    return {
        {cmd::Job_request{"linux"}},
        {cmd::Job_schedule{some_uuid, build}},
        {cmd::Job_finished{some_uuid, Signalled{9}, {{"out/log.txt", "done\n"}}}},
        {cmd::Output{some_uuid, "line\n"}},
        {cmd::Output_timestamped{some_uuid, {5'000'000}, "hi"}},
        {cmd::Schedule{period::Daily, build}},
        {cmd::Unschedule{"build"}},
        {cmd::Info{}},
        {cmd::Info_reply{{{{some_time, period::Hourly, build}},
                          {{"linux", {build, vesk}}},
                          {{some_time, some_uuid, build}},
                          {"old-platform"}}}},
        {cmd::Observe{some_uuid}},
        {cmd::Execute{"build", "linux"}},
        {cmd::Schedule_vesk_build{period::Weekly, vesk}},
        {cmd::Reschedule{"build", some_time, period::Never}},
        {cmd::Drop_platform{"old-platform"}},
        {cmd::Undrop_platform{"old-platform"}},
        {cmd::Client_hello{client_or_worker::Worker, worker_protocol_version}},
        {cmd::Server_hello{}},
        {cmd::Success{}},
        {cmd::Failure{"no such job"}},
    };
}

TEST(CommandFraming, EveryCommandTravelsWhole) {
    const auto commands = one_of_each();
    std::set<std::size_t> alternatives;
    for (const auto& c : commands) alternatives.insert(c.value.index());
    ASSERT_EQ(alternatives.size(), std::variant_size_v<decltype(cmd::value)>);

    connection link;
    for (const auto& c : commands) ASSERT_TRUE(write_cmd(link.sender(), c).has_value()) << c.value.index();
    for (const auto& c : commands) {
        const auto got = read_cmd(link.receiver());
        ASSERT_TRUE(got.has_value()) << c.value.index() << ": " << got.error();
        EXPECT_EQ(*got, c) << c.value.index();
    }
    link.hang_up();
    EXPECT_EQ(read_cmd(link.receiver()), std::unexpected("end of file"s));
}

TEST(CommandFraming, FrameHoldsTheCommandsEncoding) {
    connection link;
    ASSERT_TRUE(write_cmd(link.sender(), cmd{cmd::Info{}}).has_value());
    link.hang_up();
    EXPECT_EQ(take_all(link.receiver()), "\0\0\0\0\0\0\0\x04\xA6\x02\x05\x00"s);
}

TEST(CommandFraming, DecoderErrorsComeBackUnchanged) {
    const std::string payloads[] = {
        "\xB7\x02\x05\x00"s,  // tag [23]
        "\xA8\x02\x05\x00"s,  // retired [8]
        ""s,
    };
    for (const auto& payload : payloads) {
        connection link;
        ASSERT_TRUE(write(link.sender(), payload).has_value());
        const auto expected = asn::cmd_of_str(payload);
        ASSERT_FALSE(expected.has_value());
        EXPECT_EQ(read_cmd(link.receiver()), std::unexpected(expected.error())) << expected.error();
    }
}

TEST(CommandFraming, TrailingBytesAfterTheCommand) {
    connection link;
    ASSERT_TRUE(write(link.sender(), "\xB2\x02\x05\x00\x00"s).has_value());
    EXPECT_EQ(read_cmd(link.receiver()), std::unexpected("trailing bytes"s));
}

TEST(CommandFraming, ReadErrorsAreNotDecoded) {
    connection link;
    ASSERT_EQ(::write(link.sender(), "\0\0\0\0\0\0\0\x04\xB2\x02"s.data(), 10), 10);
    link.hang_up();
    EXPECT_EQ(read_cmd(link.receiver()), std::unexpected("end of file"s));
    EXPECT_EQ(read_cmd(-1), std::unexpected("unix error in read"s));
}

TEST(CommandFraming, ErrorsCarryTheirKind) {
    {
        connection link;
        ASSERT_TRUE(write(link.sender(), "\xB2\x02\x05\x00\x00"s).has_value());
        EXPECT_EQ(read_cmd(link.receiver(), max_frame_size),
                  std::unexpected(frame_error{frame_error_kind::decode_failure, "trailing bytes"}));
    }
    {
        connection link;
        link.hang_up();
        EXPECT_EQ(read_cmd(link.receiver(), max_frame_size),
                  std::unexpected(frame_error{frame_error_kind::end_of_file, "end of file"}));
    }
    {
        connection link;
        ASSERT_EQ(::write(link.sender(), "\0\0\0\0\0\0\0\x04\xB2\x02"s.data(), 10), 10);
        link.hang_up();
        EXPECT_EQ(read_cmd(link.receiver(), max_frame_size),
                  std::unexpected(frame_error{frame_error_kind::truncated, "end of file"}));
    }
    {
        connection link;
        ASSERT_TRUE(write_cmd(link.sender(), cmd{cmd::Failure{"no such job"}}).has_value());
        EXPECT_EQ(read_cmd(link.receiver(), 4), std::unexpected(frame_error{frame_error_kind::bad_length, "frame too large"}));
    }
}

TEST(CommandFraming, BoundsArePerCall) {
    connection link;
    const cmd hello{cmd::Client_hello{client_or_worker::Client, client_protocol_version}};
    const std::size_t size = asn::cmd_to_str(hello).size();
    const auto bound = static_cast<std::int64_t>(size);
    EXPECT_EQ(write_cmd(link.sender(), hello, bound - 1),
              std::unexpected(frame_error{frame_error_kind::bad_length, "frame too large"}));
    ASSERT_TRUE(write_cmd(link.sender(), hello, bound).has_value());
    EXPECT_EQ(read_cmd(link.receiver(), bound), hello);
}

}  // namespace
}  // namespace quarvel
