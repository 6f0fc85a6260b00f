#include "support/process.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace test {

pid_t spawn(const std::vector<std::string>& argv, const spawn_options& options) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    const int targets[] = {options.in, options.out, options.err};
    for (int to = 0; to < 3; ++to)
        if (targets[to] >= 0 && targets[to] != to && ::dup2(targets[to], to) < 0) ::_exit(126);
    // The originals, once each, unless one is itself a standard descriptor.
    for (int i = 0; i < 3; ++i) {
        const int fd = targets[i];
        const bool seen_before = (i > 0 && fd == targets[0]) || (i > 1 && fd == targets[1]);
        if (fd > 2 && !seen_before) ::close(fd);
    }
    if (options.prepare) options.prepare();
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
}

int wait_for(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

outcome run(const std::vector<std::string>& argv, const run_options& options) {
    int in[2], out[2], err[2];
    if (::pipe(in) || ::pipe(out) || ::pipe(err)) throw std::runtime_error("pipe failed");
    const pid_t pid = spawn(argv, {in[0], out[1], err[1], [&] {
                                       for (int fd : {in[1], out[0], err[0]}) ::close(fd);
                                       if (options.clear_style_env)
                                           for (const char* name : {"TERM", "NO_COLOR", "QUARVEL_LEGACY_PREFIXES",
                                                                    "MANPAGER", "PAGER", "LESS", "LANG", "LC_ALL",
                                                                    "LC_CTYPE"})
                                               ::unsetenv(name);
                                       for (const auto& [name, value] : options.env) {
                                           if (value) ::setenv(name.c_str(), value->c_str(), 1);
                                           else ::unsetenv(name.c_str());
                                       }
                                       if (options.cwd && ::chdir(options.cwd->c_str()) != 0) ::_exit(126);
                                   }});
    if (pid < 0) throw std::runtime_error("fork failed");
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    ::signal(SIGPIPE, SIG_IGN);

    outcome result;
    std::size_t written = 0;
    int in_fd = in[1];
    if (options.input.empty()) {
        ::close(in_fd);
        in_fd = -1;
    }
    bool out_open = true, err_open = true;
    char buffer[65536];
    while (out_open || err_open || in_fd >= 0) {
        std::vector<pollfd> fds;
        if (out_open) fds.push_back({out[0], POLLIN, 0});
        if (err_open) fds.push_back({err[0], POLLIN, 0});
        if (in_fd >= 0) fds.push_back({in_fd, POLLOUT, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (const auto& p : fds) {
            if (!p.revents) continue;
            if (p.fd == in_fd) {
                const ssize_t n = ::write(in_fd, options.input.data() + written, options.input.size() - written);
                if (n > 0) written += static_cast<std::size_t>(n);
                if (n < 0 || written == options.input.size()) {
                    ::close(in_fd);
                    in_fd = -1;
                }
                continue;
            }
            const ssize_t n = ::read(p.fd, buffer, sizeof buffer);
            if (n <= 0) {
                if (p.fd == out[0]) out_open = false;
                else err_open = false;
                ::close(p.fd);
            } else {
                (p.fd == out[0] ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    int status = 0;
    struct rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {}
    result.max_rss_kib = usage.ru_maxrss;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

temp_dir::temp_dir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quarvel-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

temp_dir::~temp_dir() {
    std::error_code ec;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path, ec);
}

std::string temp_dir::file(const std::string& name, const std::string& contents) const {
    const std::string p = path + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(p).parent_path());
    std::ofstream(p, std::ios::binary) << contents;
    return p;
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::vector<std::string> tree(const std::string& root) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        std::string name = entry.path().lexically_relative(root).string();
        if (entry.is_symlink()) name += "@";
        else if (entry.is_directory()) name += "/";
        names.push_back(name);
    }
    std::ranges::sort(names);
    return names;
}

}  // namespace test
