#pragma once
// A program in a pseudo-terminal, as a user has it: keys are typed, and what the terminal shows is read
// back up to a marker. A read that sees nothing for `patience` gives up, so a program that hangs fails the
// test instead of stopping it; nothing is asserted about time.

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace test {

class terminal {
  public:
    // `env` holds "NAME=value" entries, the whole environment.
    terminal(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& cwd) {
        winsize size{};
        size.ws_row = 50;
        size.ws_col = 250;  // wide enough that no line typed here wraps
        pid_ = ::forkpty(&fd_, nullptr, nullptr, &size);
        if (pid_ == 0) {
            if (::chdir(cwd.c_str()) != 0) ::_exit(126);
            std::vector<char*> args, vars;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            for (const auto& e : env) vars.push_back(const_cast<char*>(e.c_str()));
            args.push_back(nullptr);
            vars.push_back(nullptr);
            ::execve(args[0], args.data(), vars.data());
            ::_exit(127);
        }
    }
    ~terminal() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0) ::close(fd_);
    }
    terminal(const terminal&) = delete;
    terminal& operator=(const terminal&) = delete;

    bool started() const { return pid_ > 0; }

    void type(std::string_view keys) {
        while (!keys.empty()) {
            const ssize_t n = ::write(fd_, keys.data(), keys.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            keys.remove_prefix(static_cast<std::size_t>(n));
        }
    }

    // What the terminal shows before the next `marker`; the marker is consumed. Nothing when the program
    // ends or falls silent first.
    std::optional<std::string> read_through(std::string_view marker, int patience_ms = 30000) {
        for (;;) {
            if (const auto at = shown_.find(marker); at != std::string::npos) {
                std::string before = shown_.substr(0, at);
                shown_.erase(0, at + marker.size());
                return before;
            }
            pollfd p{fd_, POLLIN, 0};
            const int ready = ::poll(&p, 1, patience_ms);
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) return std::nullopt;
            char buffer[4096];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return std::nullopt;  // EIO once the program has ended
            shown_.append(buffer, static_cast<std::size_t>(n));
        }
    }

    // Waits for the program to end: its exit status, or 128 + the signal that ended it.
    int finish() {
        int status = 0;
        if (pid_ <= 0 || ::waitpid(pid_, &status, 0) != pid_) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    // Everything the terminal shows until the program ends (or falls silent).
    std::string read_to_end(int patience_ms = 30000) {
        read_through(std::string_view("\0\0end\0\0", 7), patience_ms);
        return std::exchange(shown_, {});
    }

  private:
    pid_t pid_ = -1;
    int fd_ = -1;
    std::string shown_;
};

}  // namespace test
