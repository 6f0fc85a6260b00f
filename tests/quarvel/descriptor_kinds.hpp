#pragma once
// The kinds of stream descriptor a frame travels over, in either mode, for tests that must hold on every
// one of them (a connected pair of stream sockets, a pipe, a FIFO, TCP over loopback), and the raw bytes
// that the framing tests send and count.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <quarvel/framing.hpp>

namespace quarvel::testing {

enum class descriptor_kind { socket_pair, pipe, fifo, tcp };

inline const char* name_of(descriptor_kind kind) {
    switch (kind) {
    case descriptor_kind::socket_pair: return "socket pair";
    case descriptor_kind::pipe: return "pipe";
    case descriptor_kind::fifo: return "FIFO";
    case descriptor_kind::tcp: return "TCP";
    }
    return "?";
}

// A one-way stream: bytes written to `writer` come out of `reader`. Both ends block unless `nonblocking`.
struct channel_pair {
    int reader = -1;
    int writer = -1;

    channel_pair(descriptor_kind kind, bool nonblocking) {
        open(kind);
        if (nonblocking)
            for (int fd : {reader, writer})
                if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    ~channel_pair() {
        close_reader();
        close_writer();
    }
    channel_pair(const channel_pair&) = delete;
    channel_pair& operator=(const channel_pair&) = delete;

    bool open_ok() const { return reader >= 0 && writer >= 0; }
    void close_reader() { close_fd(reader); }
    void close_writer() { close_fd(writer); }

private:
    static void close_fd(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

    void open(descriptor_kind kind) {
        int fds[2];
        switch (kind) {
        case descriptor_kind::socket_pair:
            if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0) reader = fds[0], writer = fds[1];
            return;
        case descriptor_kind::pipe:
            if (::pipe(fds) == 0) reader = fds[0], writer = fds[1];
            return;
        case descriptor_kind::fifo: {
            char dir[] = "/tmp/quarvel-fifo-XXXXXX";
            if (::mkdtemp(dir) == nullptr) return;
            const std::string path = std::string(dir) + "/fifo";
            if (::mkfifo(path.c_str(), 0600) == 0) {
                // Opened for reading without waiting for a writer, then for writing; the reader then blocks
                // or not as asked, like any other descriptor.
                reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
                writer = ::open(path.c_str(), O_WRONLY);
                if (reader >= 0) ::fcntl(reader, F_SETFL, ::fcntl(reader, F_GETFL) & ~O_NONBLOCK);
                ::unlink(path.c_str());
            }
            ::rmdir(dir);
            return;
        }
        case descriptor_kind::tcp: {
            const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t size = sizeof address;
            if (listener >= 0 && ::bind(listener, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                ::listen(listener, 1) == 0 && ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
                writer = ::socket(AF_INET, SOCK_STREAM, 0);
                if (::connect(writer, reinterpret_cast<sockaddr*>(&address), size) == 0)
                    reader = ::accept(listener, nullptr, nullptr);
            }
            if (listener >= 0) ::close(listener);
            return;
        }
        }
    }
};

inline constexpr descriptor_kind every_kind[] = {descriptor_kind::socket_pair, descriptor_kind::pipe,
                                                 descriptor_kind::fifo, descriptor_kind::tcp};

// The prefix announcing `length`, and a whole frame, as bytes.
inline std::string prefix_of(std::int64_t length) {
    const auto prefix = frame_prefix(length);
    return std::string(prefix.data(), prefix.size());
}

inline std::string frame_of(std::string_view payload) {
    return prefix_of(static_cast<std::int64_t>(payload.size())) + std::string(payload);
}

// Writes all of `bytes` with plain writes, waiting out a full non-blocking descriptor.
inline void put_raw(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        ASSERT_GT(n, 0) << std::strerror(errno);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

// The bytes still waiting to be read from `fd`.
inline int unread(int fd) {
    int count = 0;
    ::ioctl(fd, FIONREAD, &count);
    return count;
}

}  // namespace quarvel::testing
