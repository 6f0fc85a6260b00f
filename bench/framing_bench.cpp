// Framed transfers as a service's programs make them, timed as a whole:
//
//   framing_bench MODE [FRAMES]
//
// MODE is one of
//   read_available  FRAMES frames of 40 octets through a socket pair, read by an event loop: poll, then
//                   read_available until it has nothing
//   fed             the same frames, read in 64 KiB reads of the caller's own and fed to a frame_reader
//   blocking        the same frames, read one by one with the blocking read
//   writer          the same frames queued in a frame_writer and written with write_available as poll
//                   allows, to a peer that reads 64 KiB at a time
//   tcp             FRAMES request and reply round trips of one command each over TCP loopback, with the
//                   sockets' default options
// and prints one line: the mode, the frames, the seconds and the frames per second (for tcp, the median
// and the largest round trip in milliseconds). bench/framing.sh runs every mode and counts the read calls
// per frame with strace.
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <quarvel/asn.hpp>
#include <quarvel/framing.hpp>

namespace {

using steady = std::chrono::steady_clock;

constexpr std::size_t payload_size = 40;

[[noreturn]] void die(const char* what) {
    std::fprintf(stderr, "framing_bench: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

std::string frames_of(std::size_t count) {
    std::string bytes;
    bytes.reserve(count * (quarvel::frame_prefix_size + payload_size));
    const std::string payload(payload_size, 'x');
    const auto prefix = quarvel::frame_prefix(payload_size);
    for (std::size_t i = 0; i < count; ++i) {
        bytes.append(prefix.data(), prefix.size());
        bytes += payload;
    }
    return bytes;
}

void write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), std::min<std::size_t>(bytes.size(), 64 * 1024));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) die("write");
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
}

void wait_for(int fd, short events) {
    pollfd watched{fd, events, 0};
    while (::poll(&watched, 1, -1) < 0)
        if (errno != EINTR) die("poll");
}

struct pair {
    int reader, writer;
};

pair socket_pair() {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) die("socketpair");
    return {fds[0], fds[1]};
}

std::size_t read_with_read_available(int fd, std::size_t frames) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    quarvel::frame_reader reader;
    std::size_t got = 0;
    while (got < frames) {
        wait_for(fd, POLLIN);
        for (;;) {
            auto frame = quarvel::read_available(reader, fd);
            if (!frame) die("read_available");
            if (!*frame) break;
            ++got;
        }
    }
    return got;
}

std::size_t read_fed(int fd, std::size_t frames) {
    quarvel::frame_reader reader;
    std::vector<char> chunk(64 * 1024);
    std::size_t got = 0;
    while (got < frames) {
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n <= 0) die("read");
        std::string_view bytes(chunk.data(), static_cast<std::size_t>(n));
        while (!bytes.empty()) {
            bytes.remove_prefix(reader.feed(bytes));
            for (;;) {
                auto frame = reader.next();
                if (!frame) die("next");
                if (!*frame) break;
                ++got;
                bytes.remove_prefix(reader.feed(bytes));
            }
        }
    }
    return got;
}

std::size_t read_blocking(int fd, std::size_t frames) {
    for (std::size_t i = 0; i < frames; ++i)
        if (!quarvel::read(fd, quarvel::max_frame_size)) die("read");
    return frames;
}

std::size_t write_with_writer(int fd, std::size_t frames) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    quarvel::frame_writer writer;
    const std::string payload(payload_size, 'x');
    // Replies are queued as a server makes them, a few at a time between writes.
    for (std::size_t i = 0; i < frames;) {
        for (std::size_t batch = 0; batch < 64 && i < frames; ++batch, ++i)
            if (!writer.push(payload)) die("push");
        if (writer.pending() > 1024 * 1024) wait_for(fd, POLLOUT);
        if (!quarvel::write_available(writer, fd)) die("write_available");
    }
    while (writer.pending() > 0) {
        wait_for(fd, POLLOUT);
        if (!quarvel::write_available(writer, fd)) die("write_available");
    }
    return frames;
}

void print(const char* mode, std::size_t frames, steady::duration took) {
    const double seconds = std::chrono::duration<double>(took).count();
    std::printf("%s frames %zu seconds %.3f frames/s %.0f\n", mode, frames, seconds, frames / seconds);
}

int stream_mode(const std::string& mode, std::size_t frames) {
    const pair link = socket_pair();
    const auto start = steady::now();
    if (mode == "writer") {
        std::thread peer([&] {
            std::vector<char> chunk(64 * 1024);
            std::size_t left = frames * (quarvel::frame_prefix_size + payload_size);
            while (left > 0) {
                const ssize_t n = ::read(link.reader, chunk.data(), chunk.size());
                if (n <= 0) die("read");
                left -= static_cast<std::size_t>(n);
            }
        });
        write_with_writer(link.writer, frames);
        peer.join();
    } else {
        const std::string bytes = frames_of(frames);
        std::thread sender([&] { write_all(link.writer, bytes); });
        if (mode == "read_available") {
            read_with_read_available(link.reader, frames);
        } else if (mode == "fed") {
            read_fed(link.reader, frames);
        } else {
            read_blocking(link.reader, frames);
        }
        sender.join();
    }
    print(mode.c_str(), frames, steady::now() - start);
    return 0;
}

int tcp_mode(std::size_t round_trips) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener, 1) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        die("listen");
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(client, reinterpret_cast<sockaddr*>(&address), size) != 0) die("connect");
    const int server = ::accept(listener, nullptr, nullptr);
    if (server < 0) die("accept");

    const quarvel::cmd request{quarvel::cmd::Job_request{"debian-12-amd64"}};
    const quarvel::cmd reply{quarvel::cmd::Success{}};
    std::thread answering([&] {
        for (std::size_t i = 0; i < round_trips; ++i) {
            if (!quarvel::read_cmd(server, quarvel::max_frame_size)) die("server read");
            if (!quarvel::write_cmd(server, reply, quarvel::max_frame_size)) die("server write");
        }
    });
    std::vector<double> took;
    for (std::size_t i = 0; i < round_trips; ++i) {
        const auto start = steady::now();
        if (!quarvel::write_cmd(client, request, quarvel::max_frame_size)) die("client write");
        if (!quarvel::read_cmd(client, quarvel::max_frame_size)) die("client read");
        took.push_back(std::chrono::duration<double, std::milli>(steady::now() - start).count());
    }
    answering.join();
    std::sort(took.begin(), took.end());
    std::printf("tcp round_trips %zu median_ms %.3f max_ms %.3f\n", round_trips, took[took.size() / 2], took.back());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: framing_bench read_available|fed|blocking|writer|tcp [FRAMES]\n");
        return 2;
    }
    const std::string mode = argv[1];
    const std::size_t frames = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1'000'000;
    if (mode == "tcp") return tcp_mode(argc > 2 ? frames : 50);
    if (mode != "read_available" && mode != "fed" && mode != "blocking" && mode != "writer") {
        std::fprintf(stderr, "framing_bench: unknown mode %s\n", mode.c_str());
        return 2;
    }
    return stream_mode(mode, frames);
}
