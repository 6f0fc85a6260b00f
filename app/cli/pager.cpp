#include "pager.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string_view>
#include <vector>

#include <quarvel_toolkit/posix.hpp>

extern char** environ;

namespace cli {

namespace {

std::optional<std::string> non_empty(const environment_lookup& env, const std::string& name) {
    auto v = env(name);
    if (v && v->empty()) return std::nullopt;
    return v;
}

bool is_executable_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The path of a program named like a shell command word: as given when it holds a "/", else from PATH.
std::optional<std::string> find_program(const std::string& name, const environment_lookup& env) {
    if (name.empty()) return std::nullopt;
    if (name.find('/') != std::string::npos) {
        if (is_executable_file(name)) return name;
        return std::nullopt;
    }
    const std::string path = env("PATH").value_or("/usr/local/bin:/usr/bin:/bin");
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find(':', start), path.size());
        // Built from a view and appended piecewise: g++ 12 at -O2 misreads assigning "." to the
        // substring as an overlapping copy (-Wrestrict).
        const std::string_view dir = std::string_view(path).substr(start, end - start);
        std::string candidate(dir.empty() ? std::string_view(".") : dir);
        candidate += '/';
        candidate += name;
        if (is_executable_file(candidate)) return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

std::string first_word(const std::string& command) {
    const std::size_t start = command.find_first_not_of(" \t\n");
    if (start == std::string::npos) return {};
    const std::size_t end = command.find_first_of(" \t\n", start);
    return command.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

struct program {
    std::vector<std::string> argv;
    // Run through a shell, which Ctrl-C would end (sh does not wait for the pager to handle it), while the
    // pager ran on as an orphan: the shell and what it starts ignore Ctrl-C and Ctrl-backslash.
    bool through_shell = false;
};

// A command that a shell would only split at blanks into words: no quoting, expansion, redirection, list
// or pipeline, and no variable assignment in front. It is run as those words, without a shell.
bool is_plain_command(const std::string& command) {
    bool in_first_word = true, seen_word = false;
    for (const char c : command) {
        if (c == ' ' || c == '\t') {
            if (seen_word) in_first_word = false;
            continue;
        }
        seen_word = true;
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           std::string_view("_./+,:@%-").find(c) != std::string_view::npos ||
                           (c == '=' && !in_first_word);
        if (!plain) return false;
    }
    return seen_word;
}

std::vector<std::string> words_of(const std::string& command) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while ((at = command.find_first_not_of(" \t", at)) != std::string::npos) {
        const std::size_t end = std::min(command.find_first_of(" \t", at), command.size());
        words.push_back(command.substr(at, end - at));
        at = end;
    }
    return words;
}

// MANPAGER and PAGER hold shell commands (they may carry options); less and more are run directly.
std::optional<program> find_pager(const environment_lookup& env) {
    for (const char* variable : {"MANPAGER", "PAGER"}) {
        const auto command = non_empty(env, variable);
        if (!command) continue;
        const auto path = find_program(first_word(*command), env);
        if (!path) continue;
        if (!is_plain_command(*command)) return program{{"/bin/sh", "-c", *command}, true};
        program direct{words_of(*command)};
        direct.argv[0] = *path;
        return direct;
    }
    for (const char* name : {"less", "more"})
        if (auto path = find_program(name, env)) return program{{*path}};
    return std::nullopt;
}

std::optional<program> find_formatter(const environment_lookup& env) {
    if (auto groff = find_program("groff", env)) return program{{*groff, "-m", "man", "-T", "utf8"}};
    if (auto mandoc = find_program("mandoc", env)) return program{{*mandoc, "-T", "utf8"}};
    if (auto nroff = find_program("nroff", env)) return program{{*nroff, "-man"}};
    return std::nullopt;
}

// A temporary file, removed when the object goes.
struct temporary_file {
    std::string path;
    int fd = -1;

    explicit temporary_file(const environment_lookup& env) {
        std::string pattern = non_empty(env, "TMPDIR").value_or("/tmp") + "/quarvel-manual-XXXXXX";
        fd = ::mkstemp(pattern.data());
        if (fd >= 0) path = pattern;
    }
    ~temporary_file() {
        if (fd >= 0) {
            ::close(fd);
            ::unlink(path.c_str());
        }
    }
    temporary_file(const temporary_file&) = delete;
    temporary_file& operator=(const temporary_file&) = delete;

    bool write_all(std::string_view data) const {
        return quarvel::posix::write_all(fd, data) == 0 && ::lseek(fd, 0, SEEK_SET) == 0;
    }
    bool replace(std::string_view data) const {
        return ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0 && write_all(data);
    }
};

// While the manual is shown, the signals that end an interactive program are held off: Ctrl-C (SIGINT)
// and Ctrl-\ (SIGQUIT) reach the whole foreground process group, and the pager, which owns the terminal
// until it exits, reads them as commands (less does). A signal that arrives is remembered; this process
// waits for its child, removes its temporary files and only then acts on it. The children start with the
// default dispositions, as starting a program resets caught signals; a signal this process ignored stays
// ignored for them.
constexpr int held_signals[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};

volatile std::sig_atomic_t arrived_signal = 0;

extern "C" void remember_signal(int number) { arrived_signal = number; }

struct held_off_signals {
    struct sigaction former[std::size(held_signals)] {};
    bool changed[std::size(held_signals)] {};

    held_off_signals() {
        arrived_signal = 0;
        struct sigaction remember {};
        remember.sa_handler = remember_signal;
        remember.sa_flags = SA_RESTART;
        sigemptyset(&remember.sa_mask);
        for (std::size_t i = 0; i < std::size(held_signals); ++i) {
            if (::sigaction(held_signals[i], nullptr, &former[i]) != 0 || former[i].sa_handler == SIG_IGN) continue;
            changed[i] = ::sigaction(held_signals[i], &remember, nullptr) == 0;
        }
    }
    ~held_off_signals() {
        for (std::size_t i = 0; i < std::size(held_signals); ++i)
            if (changed[i]) ::sigaction(held_signals[i], &former[i], nullptr);
    }
    held_off_signals(const held_off_signals&) = delete;
    held_off_signals& operator=(const held_off_signals&) = delete;
};

// Ctrl-C and Ctrl-backslash ignored while a child is started, so that it starts ignoring them; what was in
// place comes back when the object goes.
struct ignored_interrupts {
    struct sigaction former[2] {};
    ignored_interrupts() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGINT, &ignore, &former[0]);
        ::sigaction(SIGQUIT, &ignore, &former[1]);
    }
    ~ignored_interrupts() {
        ::sigaction(SIGINT, &former[0], nullptr);
        ::sigaction(SIGQUIT, &former[1], nullptr);
    }
    ignored_interrupts(const ignored_interrupts&) = delete;
    ignored_interrupts& operator=(const ignored_interrupts&) = delete;
};

// How a child ended: with status 0, or else (`signal` names the signal that ended it, 0 if none did).
struct child_end {
    bool succeeded = false;
    int signal = 0;
};

// Whether a signal that arrived asks to stop showing the manual, now that `child` has ended. Ctrl-C or
// Ctrl-\ that the child survived was the child's to handle (less interrupts a search with it); one that
// ended the child ends the showing too.
bool stop_after(const child_end& child) {
    const int number = arrived_signal;
    if (number == 0) return false;
    if ((number == SIGINT || number == SIGQUIT) && child.signal != number) {
        arrived_signal = 0;
        return false;
    }
    return true;
}

// Runs a program with its standard input from `input_fd` and its standard output to `output_fd` (-1:
// inherited) and waits for it to end.
child_end run_program(const program& p, int input_fd, int output_fd, const std::vector<std::string>& extra_env) {
    posix_spawn_file_actions_t actions;
    if (::posix_spawn_file_actions_init(&actions) != 0) return {};
    ::posix_spawn_file_actions_adddup2(&actions, input_fd, 0);
    if (output_fd >= 0) ::posix_spawn_file_actions_adddup2(&actions, output_fd, 1);

    std::vector<char*> argv;
    for (const auto& a : p.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) envp.push_back(*e);
    for (const auto& e : extra_env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    pid_t pid = -1;
    std::optional<ignored_interrupts> ignored;
    if (p.through_shell) ignored.emplace();
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    ignored.reset();
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return {};
    int status = 0;
    pid_t waited = -1;
    while ((waited = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (waited != pid) return {};
    return {.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0,
            .signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

// What is left of the file from its offset on; nothing when a read fails. A page is the formatter's output
// of the manual: a few kilobytes, read with no limit.
std::optional<std::string> read_to_end(int fd) {
    constexpr std::size_t step = 64 * 1024;
    std::string out;
    for (;;) {
        ssize_t n = 0;
        quarvel::posix::append_in_place(out, step, [&](char* at) {
            n = quarvel::posix::read_once(fd, at, step);
            return n > 0 ? static_cast<std::size_t>(n) : 0;
        });
        if (n == 0) return out;
        if (n < 0) return std::nullopt;
    }
}

enum class paging { shown, failed, stopped };

// Runs one child of the showing, unless a signal has already asked to stop it.
paging run_step(const program& p, int input_fd, int output_fd, const std::vector<std::string>& extra_env) {
    if (arrived_signal != 0) return paging::stopped;
    const child_end end = run_program(p, input_fd, output_fd, extra_env);
    if (stop_after(end)) return paging::stopped;
    return end.succeeded ? paging::shown : paging::failed;
}

paging page(const program& pager, std::string_view text, const environment_lookup& env,
            const std::vector<std::string>& pager_env) {
    temporary_file input(env);
    if (input.fd < 0 || !input.write_all(text)) return paging::failed;
    return run_step(pager, input.fd, -1, pager_env);
}

paging format_and_page(const program& pager, const std::string& groff_source, const environment_lookup& env,
                       const std::vector<std::string>& pager_env) {
    const auto formatter = find_formatter(env);
    if (!formatter) return paging::failed;
    temporary_file source(env), formatted(env);
    if (source.fd < 0 || formatted.fd < 0 || !source.write_all(groff_source)) return paging::failed;
    if (const paging p = run_step(*formatter, source.fd, formatted.fd, {}); p != paging::shown) return p;
    if (::lseek(formatted.fd, 0, SEEK_SET) != 0) return paging::failed;
    // The pager passes the page through to a pipe or a file as it is: there it must be plain text.
    if (::isatty(STDOUT_FILENO) == 0) {
        const auto page = read_to_end(formatted.fd);
        if (!page || !formatted.replace(without_terminal_styling(*page))) return paging::failed;
    }
    return run_step(pager, formatted.fd, -1, pager_env);
}

// The formatted page, else the plain text, through the pager; the temporary files are gone when it returns.
paging show_through_pager(const program& pager, const std::string& groff_source, const std::string& plain_text,
                          const environment_lookup& env) {
    std::vector<std::string> pager_env;
    if (!env("LESS")) pager_env.push_back("LESS=FRX");
    const paging formatted = format_and_page(pager, groff_source, env, pager_env);
    if (formatted != paging::failed) return formatted;
    return page(pager, plain_text, env, pager_env);
}

// The index after the escape sequence that starts at `at`: a CSI sequence ends with its final byte, an OSC
// string with BEL or ST, any other escape with the byte after ESC.
std::size_t after_escape(std::string_view text, std::size_t at) {
    std::size_t i = at + 1;
    if (i >= text.size()) return i;
    if (text[i] == '[') {
        ++i;
        while (i < text.size() && static_cast<unsigned char>(text[i]) >= 0x20 &&
               static_cast<unsigned char>(text[i]) <= 0x3f)
            ++i;
        return std::min(i + 1, text.size());
    }
    if (text[i] == ']') {
        for (++i; i < text.size(); ++i) {
            if (text[i] == '\a') return i + 1;
            if (text[i] == '\x1b' && i + 1 < text.size() && text[i + 1] == '\\') return i + 2;
        }
        return i;
    }
    return i + 1;
}

// Takes the last UTF-8 character off `text`.
void drop_last_character(std::string& text) {
    while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xc0) == 0x80) text.pop_back();
    if (!text.empty()) text.pop_back();
}

}  // namespace

std::string without_terminal_styling(std::string_view page) {
    std::string plain;
    plain.reserve(page.size());
    for (std::size_t i = 0; i < page.size();) {
        if (page[i] == '\b') {
            // The character before is struck over by the one after, which is the one that stays.
            drop_last_character(plain);
            ++i;
        } else if (page[i] == '\x1b') {
            i = after_escape(page, i);
        } else {
            plain += page[i++];
        }
    }
    return plain;
}

void show_paged(const std::string& groff_source, const std::string& plain_text, const environment_lookup& env,
                const std::function<void(std::string_view)>& write_out) {
    std::fflush(stdout);
    if (const auto pager = find_pager(env)) {
        int stopped_by = 0;
        paging outcome = paging::failed;
        {
            const held_off_signals held;
            outcome = show_through_pager(*pager, groff_source, plain_text, env);
            stopped_by = arrived_signal;
        }
        if (outcome == paging::shown) return;
        if (outcome == paging::stopped) {
            // Everything is cleaned up and the signal's own disposition is back: it takes its course now.
            ::raise(stopped_by);
            return;
        }
    }
    write_out(plain_text);
}

}  // namespace cli
